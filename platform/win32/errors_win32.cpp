#include "platform/win32/wide.h"

namespace plat {

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    // The network library keeps its own texts.
    const bool internet = code >= 12000 && code <= 12999;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (internet ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    const HMODULE module = internet ? GetModuleHandleW(L"wininet.dll") : nullptr;
    const DWORD n =
        FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n > 0 ? Narrow(text, n) : std::string();
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    if (out.empty()) {
        out = "error " + std::to_string(code);
    }
    return out;
}

}  // namespace plat
