// Records the ranking could not judge yet (it was busy, or out of reach),
// kept with their replays until they are sent again: the game offers that
// right after such an answer and at its next start.
#pragma once
#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

struct SUnsentRecord {
    std::string strAria;
    std::string strName;
    int nLevel = 0;  // 0 tutorial, 1 game
    int nScore = 0;
    std::string strReplay;  // the replay file's bytes
    std::time_t when = 0;   // when the game was played
    std::string strStem;    // its files' path without the extension, once kept
};

constexpr size_t kUnsentKept = 10;

// $XDG_DATA_HOME/koruhaus/doruzoro/unsent.
std::string UnsentFolder();

// Keeps the record (its replay and a small text file beside it) and sets
// strStem; the oldest beyond kUnsentKept are forgotten. False with the reason.
bool KeepUnsent(const std::string& strFolder, SUnsentRecord& rec, std::string& strError);
// The records kept, oldest first. Files that are damaged or not ours are
// left alone.
std::vector<SUnsentRecord> LoadUnsent(const std::string& strFolder);
void ForgetUnsent(const SUnsentRecord& rec);
