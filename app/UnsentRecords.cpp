#include "app/UnsentRecords.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/digest.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "ranking/Ranking.h"
#include "replay/ReplayFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFirstLine = "DoruzorO unsent record 1";
constexpr const char* kRecordExtension = ".rec";
constexpr long kMaxScore = 1000000;

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The reverse of ranking::EncodeQueryValue; false for a broken escape.
bool Decode(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size() || HexDigit(in[i + 1]) < 0 || HexDigit(in[i + 2]) < 0)
            return false;
        out += static_cast<char>(HexDigit(in[i + 1]) * 16 + HexDigit(in[i + 2]));
        i += 2;
    }
    return true;
}

// long long: a 32-bit long (Windows) would overflow on the time and throw.
bool Number(const std::string& s, long long nMax, long long& n) {
    if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    n = std::stoll(s);
    return n <= nMax;
}

std::string Text(const SUnsentRecord& rec) {
    return std::string(kFirstLine) + "\naria=" + ranking::EncodeQueryValue(rec.strAria) +
           "\nname=" + ranking::EncodeQueryValue(rec.strName) +
           "\nlevel=" + std::to_string(rec.nLevel) + "\nscore=" + std::to_string(rec.nScore) +
           "\nreplay=" + plat::Sha256Hex(rec.strReplay) +
           "\nwhen=" + std::to_string(static_cast<long long>(rec.when)) + "\n";
}

// Each line in the order Text writes it; anything else is not ours.
bool Parse(const std::string& text, SUnsentRecord& rec, std::string& strSha) {
    std::istringstream in(text);
    std::string line;
    const char* const keys[] = {"aria=", "name=", "level=", "score=", "replay=", "when="};
    std::string values[6];
    if (!std::getline(in, line) || line != kFirstLine)
        return false;
    for (int i = 0; i < 6; ++i) {
        const std::string key = keys[i];
        if (!std::getline(in, line) || line.compare(0, key.size(), key) != 0)
            return false;
        values[i] = line.substr(key.size());
    }
    long long nLevel = 0;
    long long nScore = 0;
    long long nWhen = 0;
    if (std::getline(in, line) || !Decode(values[0], rec.strAria) ||
        !Decode(values[1], rec.strName) || !Number(values[2], 1, nLevel) ||
        !Number(values[3], kMaxScore, nScore) || values[4].size() != 64 ||
        !Number(values[5], 1LL << 40, nWhen))
        return false;
    rec.nLevel = static_cast<int>(nLevel);
    rec.nScore = static_cast<int>(nScore);
    rec.when = static_cast<std::time_t>(nWhen);
    strSha = values[4];
    return true;
}

}  // namespace

std::string UnsentFolder() {
    return plat::UserDataPath() + "/unsent";
}

bool KeepUnsent(const std::string& strFolder, SUnsentRecord& rec, std::string& strError) {
    std::error_code ec;
    fs::create_directories(strFolder, ec);
    if (ec) {
        strError = "cannot make " + strFolder + ": " + ec.message();
        return false;
    }
    std::string stem;
    for (int seq = 1; seq < 1000; ++seq) {
        std::string name = replay::ReplayFileName(rec.when, rec.nLevel + 1, rec.nScore, seq);
        stem = (fs::path(strFolder) / name.substr(0, name.size() - 4)).string();
        if (!fs::exists(stem + kRecordExtension, ec) && !fs::exists(stem + ".dzr", ec))
            break;
    }
    // The replay first: a text file names a replay that is there.
    if (!plat::WriteFileAtomically(stem + ".dzr", rec.strReplay, strError) ||
        !plat::WriteFileAtomically(stem + kRecordExtension, Text(rec), strError)) {
        fs::remove(stem + ".dzr", ec);
        return false;
    }
    rec.strStem = stem;
    const std::vector<SUnsentRecord> kept = LoadUnsent(strFolder);
    for (size_t i = 0; i + kUnsentKept < kept.size(); ++i)
        ForgetUnsent(kept[i]);
    return true;
}

std::vector<SUnsentRecord> LoadUnsent(const std::string& strFolder) {
    std::vector<SUnsentRecord> out;
    std::error_code ec;
    for (fs::directory_iterator it(strFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.extension() != kRecordExtension || path.filename().string()[0] == '.')
            continue;
        SUnsentRecord rec;
        std::string text;
        std::string sha;
        rec.strStem = (path.parent_path() / path.stem()).string();
        if (plat::ReadFile(path.string(), text) && text.size() < 4096 && Parse(text, rec, sha) &&
            plat::ReadFile(rec.strStem + ".dzr", rec.strReplay) &&
            plat::Sha256Hex(rec.strReplay) == sha)
            out.push_back(std::move(rec));
    }
    std::sort(out.begin(), out.end(), [](const SUnsentRecord& a, const SUnsentRecord& b) {
        return a.when != b.when ? a.when < b.when : a.strStem < b.strStem;
    });
    return out;
}

void ForgetUnsent(const SUnsentRecord& rec) {
    if (rec.strStem.empty())
        return;
    std::error_code ec;
    // The text first: a replay alone is never taken for a record.
    fs::remove(rec.strStem + kRecordExtension, ec);
    fs::remove(rec.strStem + ".dzr", ec);
}
