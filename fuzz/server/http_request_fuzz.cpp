// Arbitrary bytes as a request head: a defined result, and what it gives is
// read on as the server would (query, then the name rules).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "server/HttpFront.h"
#include "server/RecordRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* p = reinterpret_cast<const char*>(data);
    SHttpRequest req;
    const SHeadResult r = ParseRequestHead(p, size, 8192, req);
    switch (r.eState) {
        case EHead::Incomplete:
            if (size >= 8192)
                std::abort();  // a full buffer must be decided
            break;
        case EHead::Bad:
            if (r.nStatus < 400 || r.nStatus > 505)
                std::abort();
            break;
        case EHead::Complete: {
            if (r.nLength == 0 || r.nLength > size || r.nLength > 8192 || req.strPath.empty() ||
                req.strPath[0] != '/')
                std::abort();
            std::map<std::string, std::string> query;
            if (ParseQuery(req.strQuery, query) == EQuery::Ok)
                for (const auto& kv : query)
                    (void)NameProblem(kv.second);
            break;
        }
    }
    (void)NameProblem(std::string(p, size));
    (void)Printable(std::string(p, size));
    return 0;
}
