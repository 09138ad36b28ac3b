#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace plat {

std::string GetCurrentDirectory() {
    std::vector<char> buf(4096);
    while (!getcwd(buf.data(), buf.size())) {
        if (buf.size() > (1u << 20)) {
            return std::string();
        }
        buf.resize(buf.size() * 2);
    }
    std::string dir(buf.data());
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    // The root directory would give "/" and then "//image": drop the slash.
    if (dir == "/") {
        dir.clear();
    }
    return dir;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(ToFsPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(ToFsPath(path), std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace plat
