// The program's entry: names the settings store and runs the main window,
// or plays a recorded game.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/DoruzorODlg.h"
#include "app/ReplayDlg.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/toolkit.h"
#include "replay/ReplayGame.h"
#include "replay/ReplayVerify.h"

namespace {

struct SOptions {
    bool bRecord = true;
    bool bHelp = false;
    bool bVersion = false;
    std::string strReplay;
};

constexpr const char* kUsage =
    "usage: doruzoro [--no-record] [--replay FILE] [--version] [--help]\n"
    "  --no-record    do not record the games played\n"
    "  --replay FILE  play a recorded game; Escape leaves\n"
    "  --version      print the version and exit\n"
    "  --help         print this text and exit\n";

// The application is named after its executable, without extension.
std::string AppName(const char* argv0) {
    std::string name = argv0 ? argv0 : "doruzoro";
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name.empty() ? std::string("doruzoro") : name;
}

// Read before the display is opened, so that wrong use is told as such
// even where there is no display.
bool ParseOptions(int argc, char** argv, SOptions& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            opt.bHelp = true;
        } else if (arg == "--version") {
            opt.bVersion = true;
        } else if (arg == "--no-record") {
            opt.bRecord = false;
        } else if (arg == "--replay" && i + 1 < argc && opt.strReplay.empty()) {
            opt.strReplay = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

// Said aloud by the screen reader in a box, and on standard error.
int Refuse(const std::string& strFile, const std::string& strReason) {
    const std::string text = "The replay " + strFile + " cannot be played: " + strReason + ".";
    std::fprintf(stderr, "doruzoro: %s\n", text.c_str());
    plat::MessageBox(text, "DoruzorO");
    return 1;
}

// A replay is played only after it re-ran in step against the pictures the
// game will draw with: another version or a damaged file is never played wrong.
int PlayReplay(const std::string& strFile) {
    std::string bytes;
    if (!plat::ReadFile(strFile, bytes)) {
        return Refuse(strFile, "the file cannot be read");
    }
    const std::string base = plat::GetCurrentDirectory();
    replay::SGeometry official;
    std::string err;
    if (!replay::OfficialGeometry(base, official, err)) {
        return Refuse(strFile, err);
    }
    const replay::SVerifyResult r = replay::VerifyReplay(bytes, official);
    if (r.verdict != replay::EVerdict::InStep) {
        return Refuse(strFile, r.strReason);
    }
    CReplayDlg dlg(bytes, base);
    dlg.DoModal();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    plat::UseUtf8Arguments(argc, argv);
    SOptions opt;
    if (!ParseOptions(argc, argv, opt)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (opt.bHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (opt.bVersion) {
        std::printf("doruzoro %s\n", replay::ProgramVersion());
        return 0;
    }
    if (!plat::InitToolkit(&argc, &argv)) {
        std::fprintf(stderr, "doruzoro: cannot open the display\n");
        return 1;
    }
    // A replay that outgrows a file-size limit fails its write; it must not
    // end the program.
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    plat::SetAppName(AppName(argv[0]));
    plat::SetRegistryKey("koruhaus");
    if (!opt.strReplay.empty()) {
        return PlayReplay(opt.strReplay);
    }
    CDoruzorODlg dlg;
    dlg.m_bRecord = opt.bRecord;
    dlg.DoModal();
    return 0;
}
