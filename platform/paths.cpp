#include "platform/paths.h"

#ifdef _WIN32
#include <windows.h>
// Needs windows.h before it.
#include <shellapi.h>

#include <vector>

#include "platform/utf8.h"
#endif

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

std::string PartialFileName(const std::string& path) {
    const std::string fs = ToFsPath(path);
    const size_t slash = fs.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return fs.substr(0, start) + "." + fs.substr(start) + ".partial";
}

#ifdef _WIN32
void UseUtf8Arguments(int& argc, char**& argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) {
        return;
    }
    static std::vector<std::string> s_arrArgs;
    static std::vector<char*> s_arrArgv;
    s_arrArgs.clear();
    for (int i = 0; i < n; ++i) {
        const std::u16string arg(reinterpret_cast<const char16_t*>(wide[i]));
        s_arrArgs.push_back(Utf16ToUtf8(arg));
    }
    LocalFree(wide);
    s_arrArgv.clear();
    for (std::string& arg : s_arrArgs) {
        s_arrArgv.push_back(&arg[0]);
    }
    s_arrArgv.push_back(nullptr);
    argc = n;
    argv = s_arrArgv.data();
}
#else
void UseUtf8Arguments(int& /*argc*/, char**& /*argv*/) {}
#endif

}  // namespace plat
