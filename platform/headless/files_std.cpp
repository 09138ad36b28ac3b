// Files through the standard library alone, on any system. The program keeps
// no settings headless: a re-run reads its replay and its data and nothing else.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/paths.h"
#include "platform/profile.h"

namespace plat {
namespace fs = std::filesystem;

namespace {
fs::path FsPath(const std::string& path) {
    return fs::u8path(ToFsPath(path));
}
}  // namespace

std::string GetCurrentDirectory() {
    std::error_code ec;
    std::string dir = fs::current_path(ec).u8string();
    if (ec) {
        return std::string();
    }
    for (char& c : dir) {
        if (c == '\\') {
            c = '/';
        }
    }
    while (!dir.empty() && dir.back() == '/') {
        dir.pop_back();  // the root would give "//image"
    }
    return dir;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(FsPath(path), ec);
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void SetRegistryKey(const std::string& /*company*/) {}
void SetAppName(const std::string& /*app*/) {}

std::string GetProfileString(const std::string& /*section*/, const std::string& /*entry*/,
                             const std::string& def) {
    return def;
}

bool WriteProfileString(const std::string& /*section*/, const std::string& /*entry*/,
                        const std::string& /*value*/) {
    return false;
}

std::string ProfilePath() {
    return std::string();
}

std::string UserDataPath() {
    return std::string();
}

}  // namespace plat
