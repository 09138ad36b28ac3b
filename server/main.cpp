// doruzoro-server: the ranking the game submits to, for one machine or the public.
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "server/RankServer.h"

namespace {

volatile std::sig_atomic_t g_bStop = 0;

bool ParseArgs(int argc, char** argv, SServerOptions& opt) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--address")
            opt.strAddress = value;
        else if (key == "--port")
            opt.nPort = static_cast<uint16_t>(std::stoi(value));
        else if (key == "--db")
            opt.strDb = value;
        else
            return false;
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    SServerOptions opt;
    try {
        if (!ParseArgs(argc, argv, opt)) {
            std::fprintf(stderr, "usage: %s [--address A] [--port N] [--db FILE]\n", argv[0]);
            return 2;
        }
    } catch (...) {
        std::fprintf(stderr, "%s: bad port\n", argv[0]);
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
