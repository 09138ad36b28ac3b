#include "replay/ReplayFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/profile.h"

namespace fs = std::filesystem;

namespace replay {
namespace {

constexpr const char* kPartialSuffix = ".partial";
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

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The whole file under a hidden name, flushed to the disk, then renamed.
bool WriteAtomically(const fs::path& target, const std::string& bytes, std::string& err) {
    const fs::path tmp = target.parent_path() / ("." + target.filename().string() + kPartialSuffix);
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        err = std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    const int writeErr = errno;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(tmp.c_str(), target.c_str()) == 0)
        return true;
    err = std::strerror(ok ? errno : writeErr);
    unlink(tmp.c_str());
    return false;
}

void RemoveStalePartial(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
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
    std::tm local{};
    localtime_r(&when, &local);
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
    fs::create_directories(strFolder, ec);
    if (ec) {
        strError = "cannot make " + strFolder + ": " + ec.message();
        return false;
    }
    fs::path target;
    for (int seq = 1; seq < 1000; ++seq) {
        target = fs::path(strFolder) / ReplayFileName(when, nMode, nScore, seq);
        if (!fs::exists(target, ec))
            break;
    }
    if (!WriteAtomically(target, bytes, strError)) {
        strError = "cannot write " + target.string() + ": " + strError;
        return false;
    }
    strPath = target.string();
    PruneReplays(strFolder);
    return true;
}

bool WriteFileAtomically(const std::string& strPath, const std::string& bytes,
                         std::string& strError) {
    return WriteAtomically(fs::path(strPath), bytes, strError);
}

void PruneReplays(const std::string& strFolder, size_t nKeep) {
    std::vector<SReplayName> all;
    std::error_code ec;
    for (fs::directory_iterator it(strFolder, ec), end; !ec && it != end; it.increment(ec)) {
        SReplayName r;
        if (ParseName(it->path().filename().string(), r)) {
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
