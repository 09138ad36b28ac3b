// Any query a client can send to the result pages: keys and values as raw
// bytes ("key=value" pieces split at '&'), over a store with a few records.
// Every request gets 200 or 400 and a whole page.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "server/RankPages.h"

namespace {

CRankStore& Store() {
    static std::unique_ptr<CRankStore> store = [] {
        const std::string path = "/tmp/doruzoro-pages-fuzz-" + std::to_string(getpid()) + ".db";
        std::string err;
        auto s = CRankStore::Open(path, err);
        if (!s)
            std::abort();
        for (int i = 0; i < 120; ++i) {
            SSubmission sub;
            sub.rec.strAria = i % 2 ? "Japan" : "Peru";
            sub.rec.strName = "p<" + std::to_string(i) + ">";
            sub.rec.nLevel = i % 7 ? 1 : 0;
            sub.rec.nScore = (i % 9) * 1000;
            sub.strClient = "10.0.0." + std::to_string(i);
            s->SubmitAndWait(sub);
        }
        std::atexit([] {
            const std::string p = "/tmp/doruzoro-pages-fuzz-" + std::to_string(getpid()) + ".db";
            for (const char* ext : {"", "-wal", "-shm"})
                unlink((p + ext).c_str());
        });
        return s;
    }();
    return *store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::string> keys;
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('&', start);
        if (end == std::string::npos)
            end = input.size();
        const std::string piece = input.substr(start, end - start);
        const size_t eq = piece.find('=');
        keys.emplace(piece.substr(0, eq), eq == std::string::npos ? "" : piece.substr(eq + 1));
        start = end + 1;
    }
    std::string page;
    const int status = ResultPage(
        Store(),
        [&keys](const char* key, std::string& value) {
            const auto it = keys.find(key);
            if (it == keys.end())
                return false;
            value = it->second;
            return true;
        },
        page);
    if ((status != 200 && status != 400) || page.size() < 8 ||
        page.compare(page.size() - 8, 8, "</html>\n") != 0)
        std::abort();
    return 0;
}
