// Page parser throughput over real HTML documentation pages, side by side
// with a text-mode browser's dump of the same pages, and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "http/KoruHttpConnect.h"

namespace {

namespace fs = std::filesystem;

struct CPage {
    std::string path;
    std::vector<std::string> lines;  // as the request side stores them
    size_t bytes = 0;
};

const char* CorpusDir() {
    const char* env = std::getenv("DORUZORO_HTML_CORPUS");
    return env ? env : "/usr/share/doc/python3.11/html";
}

const std::vector<CPage>& Corpus() {
    static const std::vector<CPage> pages = [] {
        std::vector<std::string> files;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(CorpusDir(), ec), end; !ec && it != end;
             it.increment(ec))
            if (it->is_regular_file() && it->path().extension() == ".html")
                files.push_back(it->path());
        std::sort(files.begin(), files.end());
        if (files.size() > 120)
            files.resize(120);
        std::vector<CPage> out;
        for (const std::string& f : files) {
            std::ifstream in(f, std::ios::binary);
            CPage page{f, {}, 0};
            std::string line;
            while (std::getline(in, line)) {
                page.bytes += line.size() + 1;
                page.lines.push_back(line + "\n\r\n");
            }
            out.push_back(std::move(page));
        }
        return out;
    }();
    return pages;
}

size_t CorpusBytes() {
    size_t n = 0;
    for (const CPage& p : Corpus())
        n += p.bytes;
    return n;
}

double g_parserMBs = 0, g_browserMBs = 0;

void BM_PageParser(benchmark::State& state) {
    if (Corpus().empty()) {
        state.SkipWithError(
            "no HTML pages found (install python3-doc or set DORUZORO_HTML_CORPUS)");
        return;
    }
    CKoruHttpConnect c;
    size_t chars = 0;
    for (auto _ : state) {
        for (const CPage& p : Corpus()) {
            c.ParsePageLine("", 1, 0);
            c.m_arrLinks.clear();
            c.m_nLinkCount = 0;
            c.m_strFinalUrl = "http://docs/" + p.path;
            for (const std::string& l : p.lines)
                chars += c.ParsePageLine(l, 0, 0).size();
            chars += c.ParsePageLine("", 0, 1).size();
        }
    }
    benchmark::DoNotOptimize(chars);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusBytes()));
}

void BM_TextBrowserDump(benchmark::State& state) {
    if (Corpus().empty() || std::system("command -v w3m >/dev/null 2>&1") != 0) {
        state.SkipWithError("w3m or the HTML pages are missing");
        return;
    }
    for (auto _ : state) {
        for (const CPage& p : Corpus()) {
            const std::string cmd =
                "w3m -dump -T text/html -cols 80 '" + p.path + "' >/dev/null 2>&1";
            benchmark::DoNotOptimize(std::system(cmd.c_str()));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusBytes()));
}

// Wall-clock throughput of each run, kept for the ratio.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const double seconds = r.real_accumulated_time;
            if (seconds <= 0 || r.iterations == 0)
                continue;
            const double mbs = static_cast<double>(r.iterations) * CorpusBytes() / seconds / 1e6;
            if (r.benchmark_name().find("PageParser") != std::string::npos)
                g_parserMBs = mbs;
            if (r.benchmark_name().find("TextBrowser") != std::string::npos)
                g_browserMBs = mbs;
        }
    }
};

}  // namespace

BENCHMARK(BM_PageParser)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextBrowserDump)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    std::printf("corpus: %zu pages, %.2f MB from %s\n", Corpus().size(), CorpusBytes() / 1e6,
                CorpusDir());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (g_parserMBs > 0 && g_browserMBs > 0)
        std::printf("page parser %.2f MB/s, text browser dump %.2f MB/s, ratio %.1f\n", g_parserMBs,
                    g_browserMBs, g_parserMBs / g_browserMBs);
    benchmark::Shutdown();
    return 0;
}
