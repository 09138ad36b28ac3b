// replay_recorder: plays the scripted ten-stage game through the real host on
// the fake clock with the game's data, as the program records it, and writes
// the replay; so that a game recorded on one system can be verified on
// another. Prints what the recording claims.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "full_game.h"
#include "platform/audio.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "replay/ReplayCodec.h"

int main(int argc, char** argv) {
    plat::UseUtf8Arguments(argc, argv);
    if (argc != 5 || std::string(argv[1]) != "--data") {
        std::fprintf(stderr, "usage: %s --data DIR SEED FILE\n", argv[0]);
        return 2;
    }
    const std::string data = argv[2];
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    plat::SetAudioOffline(48000);
    plat::SetMessageBoxHandler([](const std::string& text, const std::string&) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    });
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    CDoruzorODlg host;
    host.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                           [] { return std::make_unique<CSceenGame>(); });
    host.m_strBasePath = data;
    host.m_bRecord = true;
    // The host keeps its own copy in a folder of its own; ours goes where we say.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "doruzoro_recorder_replays";
    host.m_strReplayFolder = folder.u8string();
    const std::string file = replaytest::PlayScriptedGame(host, clock, seed, {});
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    replay::CReplayReader reader;
    std::string err;
    if (file.empty() || reader.Open(file) != replay::EReadStatus::Ok ||
        !plat::WriteFileAtomically(argv[4], file, err)) {
        std::fprintf(stderr, "%s: no replay written %s\n", argv[0], err.c_str());
        return 1;
    }
    replay::EEvent kind;
    unsigned key = 0;
    while (reader.Next(kind, key) && reader.SkipReads()) {
    }
    const replay::SSummary& s = reader.Summary();
    std::printf("stages: %d\nscore: %d\nlives: %d\nhash: %016" PRIx64 "\n", s.nStage, s.nScore,
                s.nLives, s.qwHash);
    return 0;
}
