// Where the program keeps its replays, how it names them and which it keeps.
#pragma once
#include <cstddef>
#include <ctime>
#include <string>

namespace replay {

constexpr size_t kReplaysKept = 50;
constexpr const char* kReplayExtension = ".dzr";

// $XDG_DATA_HOME/koruhaus/doruzoro/replays (the program's own data folder).
std::string ReplayFolder();

// "2026-12-08_07-43-13_game_1650.dzr", local time; nSeq > 1 for a second
// game in the same second: "2026-12-08_07-43-13.2_game_1650.dzr".
std::string ReplayFileName(std::time_t when, int nMode, int nScore, int nSeq = 1);

// Writes the file beside the others without ever leaving half a file, then
// prunes the folder. False with the reason; nothing else is touched then.
bool SaveReplay(const std::string& strFolder, const std::string& bytes, std::time_t when, int nMode,
                int nScore, std::string& strPath, std::string& strError);

// Keeps the newest nKeep replays and the best-scoring one of each mode;
// files that are not ours are left alone.
void PruneReplays(const std::string& strFolder, size_t nKeep = kReplaysKept);

}  // namespace replay
