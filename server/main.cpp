// doruzoro-server: the ranking the game submits to, for one machine or the public.
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "server/HttpFront.h"
#include "server/RankServer.h"

namespace {

volatile std::sig_atomic_t g_bStop = 0;

// A whole decimal number in [lo, hi]; "80x" or "70000" for a port is refused.
bool ParseNumber(const std::string& s, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && errno == 0 && *end == '\0' && out >= lo && out <= hi;
}

bool ParseArgs(int argc, char** argv, SServerOptions& opt) {
    bool bAddressGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--behind-proxy") {  // a proxy on this machine
            opt.setTrustedProxies.insert({"127.0.0.1", "::1"});
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        long n = 0;
        if (key == "--address" && !CanonicalAddress(value).empty()) {
            if (!bAddressGiven)
                opt.arrAddresses.clear();
            bAddressGiven = true;
            opt.arrAddresses.push_back(value);
        } else if (key == "--trusted-proxy" && !CanonicalAddress(value).empty()) {
            opt.setTrustedProxies.insert(value);
        } else if (key == "--port" && ParseNumber(value, 0, 65535, n)) {
            opt.nPort = static_cast<uint16_t>(n);
        } else if (key == "--db") {
            opt.strDb = value;
        } else if (key == "--data") {
            opt.strData = value;
        } else if (key == "--submit-limit" && ParseNumber(value, 1, 1000000000, n)) {
            opt.nSubmitsPerMinute = static_cast<int>(n);
        } else if (key == "--threads" && ParseNumber(value, 1, 256, n)) {
            opt.nThreads = static_cast<int>(n);
        } else if (key == "--max-connections" && ParseNumber(value, 1, 1000000, n)) {
            opt.nMaxConnections = static_cast<int>(n);
        } else if (key == "--head-deadline" && ParseNumber(value, 100, 600000, n)) {
            opt.nHeadDeadlineMs = static_cast<int>(n);
        } else if (key == "--answer-deadline" && ParseNumber(value, 0, 600000, n)) {
            opt.nAnswerDeadlineMs = static_cast<int>(n);
        } else if (key == "--max-upload" && ParseNumber(value, 1024, 64L << 20, n)) {
            opt.nMaxUploadBytes = static_cast<size_t>(n);
        } else {
            std::fprintf(stderr, "%s: bad option or value: %s %s\n", argv[0], key.c_str(),
                         value.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SServerOptions opt;
    if (!ParseArgs(argc, argv, opt)) {
        std::fprintf(
            stderr,
            "usage: %s [--address A]... [--port N] [--db FILE] [--submit-limit N]\n"
            "          [--trusted-proxy A]... [--behind-proxy] [--threads N]\n"
            "          [--max-connections N] [--head-deadline MS] [--answer-deadline MS]\n"
            "          [--max-upload BYTES] [--data DIR]\n"
            "  --address          IPv4 or IPv6 address to listen on, repeatable (127.0.0.1)\n"
            "  --submit-limit     records one address may send a minute (default %d)\n"
            "  --trusted-proxy    a proxy whose X-Real-IP names the player, repeatable\n"
            "  --behind-proxy     the same for 127.0.0.1 and ::1\n"
            "  --threads          event loops (default: one per core)\n"
            "  --max-connections  open connections at most (default %d)\n"
            "  --head-deadline    milliseconds for a whole request head (default %d)\n"
            "  --answer-deadline  milliseconds a request waits for its answer, 0 none (default "
            "%d)\n"
            "  --max-upload       bytes of an uploaded replay at most (default %zu)\n"
            "  --data             the game's data folder\n",
            argv[0], SServerOptions().nSubmitsPerMinute, SServerOptions().nMaxConnections,
            SServerOptions().nHeadDeadlineMs, SServerOptions().nAnswerDeadlineMs,
            SServerOptions().nMaxUploadBytes);
        return 2;
    }
    std::string err;
    const auto server = CRankServer::Start(opt, err);
    if (!server) {
        std::fprintf(stderr, "%s: %s\n", argv[0], err.c_str());
        return 1;
    }
    for (const std::string& endpoint : server->Endpoints())
        std::fprintf(stderr, "listening on %s\n", endpoint.c_str());
    std::signal(SIGINT, [](int) { g_bStop = 1; });
    std::signal(SIGTERM, [](int) { g_bStop = 1; });
    std::signal(SIGPIPE, SIG_IGN);
    while (!g_bStop)
        pause();
    return 0;
}
