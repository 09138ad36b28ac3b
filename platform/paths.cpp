#include "platform/paths.h"

namespace plat {

// Forward slashes serve every system the program runs on.
std::string ToFsPath(const std::string& path) {
    std::string out = path;
    for (char& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    return out;
}

}  // namespace plat
