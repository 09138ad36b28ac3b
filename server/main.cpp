// doruzoro-server: the ranking the game submits to, for one machine or the public.
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    int i = 1;
    for (; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--behind-proxy") {
            opt.bBehindProxy = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        long n = 0;
        if (key == "--address")
            opt.strAddress = value;
        else if (key == "--port" && ParseNumber(value, 0, 65535, n))
            opt.nPort = static_cast<uint16_t>(n);
        else if (key == "--db")
            opt.strDb = value;
        else if (key == "--submit-limit" && ParseNumber(value, 1, 1000000000, n))
            opt.nSubmitsPerMinute = static_cast<int>(n);
        else
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SServerOptions opt;
    if (!ParseArgs(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: %s [--address A] [--port N] [--db FILE] [--submit-limit N]"
                     " [--behind-proxy]\n"
                     "  --submit-limit  records one address may send a minute (default %d)\n"
                     "  --behind-proxy  take the address from X-Real-IP of a proxy on 127.0.0.1\n",
                     argv[0], SServerOptions().nSubmitsPerMinute);
        return 2;
    }
    std::string err;
    const auto server = CRankServer::Start(opt, err);
    if (!server) {
        std::fprintf(stderr, "%s: %s\n", argv[0], err.c_str());
        return 1;
    }
    std::fprintf(stderr, "listening on %s:%u\n", opt.strAddress.c_str(), server->Port());
    std::signal(SIGINT, [](int) { g_bStop = 1; });
    std::signal(SIGTERM, [](int) { g_bStop = 1; });
    while (!g_bStop)
        pause();
    return 0;
}
