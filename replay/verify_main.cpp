// doruzoro-verify: re-runs a recorded game without a display or a sound card
// and says where it ended and whether it ran in step.
#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "platform/window.h"
#include "replay/ReplayCodec.h"
#include "replay/ReplayGame.h"
#include "replay/ReplayVerify.h"

namespace {

constexpr int kUsage = 2;
constexpr int kCannotRead = 1;

int Usage(const char* argv0) {
    std::fprintf(stderr,
                 "usage: %s [--data DIR] FILE\n"
                 "  re-runs the recorded game in FILE and prints its mode, stages, score,\n"
                 "  lives and state hash; exit status 0 only when it ran to its end in step.\n"
                 "  --data DIR  the game's data folder (its pictures' sizes are checked)\n",
                 argv0);
    return kUsage;
}

bool HasPictures(const std::string& dir) {
    return plat::FileExists(dir + "/image/UFO.kpg");
}

// The data folder: the one named, else the build's or the installed one
// beside the program, else the current directory (where the game reads it).
std::string FindDataDir(const std::string& named) {
    if (!named.empty())
        return named;
    const std::string exe = plat::ExecutableDir();
    for (const std::string& dir : {exe + "/../data", exe + "/../share/games/doruzoro"}) {
        if (HasPictures(dir))
            return dir;
    }
    return plat::GetCurrentDirectory();
}

}  // namespace

int main(int argc, char** argv) {
    plat::UseUtf8Arguments(argc, argv);
    std::string strData;
    std::string strFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--data" && i + 1 < argc)
            strData = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && strFile.empty())
            strFile = arg;
        else
            return Usage(argv[0]);
    }
    if (strFile.empty())
        return Usage(argv[0]);

    std::string bytes;
    if (!plat::ReadFile(strFile, bytes)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], strFile.c_str());
        return kCannotRead;
    }
    replay::SGeometry official;
    std::string err;
    if (!replay::OfficialGeometry(FindDataDir(strData), official, err)) {
        std::fprintf(stderr, "%s: %s (name the data folder with --data)\n", argv[0], err.c_str());
        return kCannotRead;
    }
    const replay::SVerifyResult r = replay::VerifyReplay(bytes, official);
    std::fputs(replay::DescribeResult(r).c_str(), stdout);
    if (r.verdict != replay::EVerdict::InStep)
        std::fprintf(stderr, "%s: %s: %s\n", argv[0], strFile.c_str(), r.strReason.c_str());
    return replay::ExitStatus(r.verdict);
}
