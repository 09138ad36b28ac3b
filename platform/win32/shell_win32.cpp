// The desktop's default handler for a web address, and programs started on
// their own.
#include "platform/win32/wide.h"

#include <shellapi.h>

#include "platform/native.h"

namespace plat {
namespace {

// One argument as the C runtime splits a command line back into argv.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

}  // namespace

namespace native {

bool OpenUri(const std::string& uri) {
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", Wide(uri).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool SpawnProgram(const std::string& program, const std::vector<std::string>& args) {
    const std::wstring exe = WidePath(program);
    std::wstring line = Quoted(exe);
    for (const std::string& arg : args) {
        line += L" " + Quoted(Wide(arg));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace native
}  // namespace plat
