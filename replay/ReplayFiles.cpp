#include "replay/ReplayFiles.h"

#include "platform/clock.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/paths.h"
#include "platform/profile.h"

namespace fs = std::filesystem;

namespace replay {
namespace {

constexpr const char* kPartialSuffix = ".partial";  // as plat::PartialFileName names them
// A half-written file this old was left by a program that died.
constexpr auto kStalePartial = std::chrono::minutes(10);

struct SReplayName {
    std::string strStamp;  // date and time, sorts as it happened
    int nSeq = 1;
    std::string strMode;
    long nScore = 0;
    fs::path path;
};

const char* ModeWord(int nMode) {
    return nMode == 1 ? "tutorial" : "game";
}

bool AllDigits(const std::string& s) {
    return !s.empty() && s.size() <= 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "YYYY-MM-DD_HH-MM-SS[.N]_mode_score.dzr"; false for any other name.
bool ParseName(const std::string& name, SReplayName& out) {
    const std::string ext = kReplayExtension;
    if (name.size() < 19 + ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext))
        return false;
    const std::string stem = name.substr(0, name.size() - ext.size());
    const size_t u1 = stem.find('_', 11);
    const size_t u2 = u1 == std::string::npos ? u1 : stem.find('_', u1 + 1);
    if (u1 == std::string::npos || u2 == std::string::npos || stem.size() < 19 || stem[10] != '_')
        return false;
    std::string when = stem.substr(0, u1);
    const size_t dot = when.find('.');
    if (dot != std::string::npos) {
        if (!AllDigits(when.substr(dot + 1)))
            return false;
        out.nSeq = std::stoi(when.substr(dot + 1));
        when.erase(dot);
    }
    out.strStamp = when;
    out.strMode = stem.substr(u1 + 1, u2 - u1 - 1);
    const std::string score = stem.substr(u2 + 1);
    if (when.size() != 19 || (out.strMode != "game" && out.strMode != "tutorial") ||
        !AllDigits(score))
        return false;
    out.nScore = std::stol(score);
    return true;
}

void RemoveStalePartial(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().u8string();
    const std::string suffix = kPartialSuffix;
    if (name.size() <= suffix.size() || name[0] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix))
        return;
    std::error_code ec;
    const auto when = fs::last_write_time(entry.path(), ec);
    if (!ec && fs::file_time_type::clock::now() - when > kStalePartial)
        fs::remove(entry.path(), ec);
}

}  // namespace

std::string ReplayFolder() {
    return plat::UserDataPath() + "/replays";
}

std::string ReplayFileName(std::time_t when, int nMode, int nScore, int nSeq) {
    const std::tm local = plat::LocalTime(when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    std::string name = stamp;
    if (nSeq > 1)
        name += "." + std::to_string(nSeq);
    return name + "_" + ModeWord(nMode) + "_" + std::to_string(nScore < 0 ? 0 : nScore) +
           kReplayExtension;
}

bool SaveReplay(const std::string& strFolder, const std::string& bytes, std::time_t when, int nMode,
                int nScore, std::string& strPath, std::string& strError) {
    std::error_code ec;
    fs::create_directories(fs::u8path(strFolder), ec);
    if (ec) {
        strError = "cannot make " + strFolder + ": " + ec.message();
        return false;
    }
    fs::path target;
    for (int seq = 1; seq < 1000; ++seq) {
        target = fs::u8path(strFolder) / fs::u8path(ReplayFileName(when, nMode, nScore, seq));
        if (!fs::exists(target, ec))
            break;
    }
    if (!plat::WriteFileAtomically(target.generic_u8string(), bytes, strError)) {
        strError = "cannot write " + target.generic_u8string() + ": " + strError;
        return false;
    }
    strPath = target.generic_u8string();
    PruneReplays(strFolder);
    return true;
}

void PruneReplays(const std::string& strFolder, size_t nKeep) {
    std::vector<SReplayName> all;
    std::error_code ec;
    for (fs::directory_iterator it(fs::u8path(strFolder), ec), end; !ec && it != end;
         it.increment(ec)) {
        SReplayName r;
        if (ParseName(it->path().filename().u8string(), r)) {
            r.path = it->path();
            all.push_back(std::move(r));
        } else {
            RemoveStalePartial(*it);
        }
    }
    // Oldest first; among equal best scores the first to reach it is kept.
    std::sort(all.begin(), all.end(), [](const SReplayName& a, const SReplayName& b) {
        return a.strStamp != b.strStamp ? a.strStamp < b.strStamp : a.nSeq < b.nSeq;
    });
    std::map<std::string, const SReplayName*> best;
    for (const SReplayName& r : all) {
        const SReplayName*& b = best[r.strMode];
        if (!b || r.nScore > b->nScore)
            b = &r;
    }
    const size_t nOld = all.size() > nKeep ? all.size() - nKeep : 0;
    for (size_t i = 0; i < nOld; ++i) {
        if (best[all[i].strMode] != &all[i])
            fs::remove(all[i].path, ec);
    }
}

}  // namespace replay
