#include "platform/win32/wide.h"

namespace plat {
namespace {

// The network library's texts, where the system has none to give.
const char* InternetText(DWORD code) {
    switch (code) {
        case 12002:
            return "The operation timed out.";
        case 12005:
            return "The URL is invalid.";
        case 12006:
            return "The URL scheme could not be recognized or is not supported.";
        case 12007:
            return "The server name could not be resolved.";
        case 12017:
            return "The operation was canceled.";
        case 12029:
            return "A connection with the server could not be established.";
        case 12030:
            return "The connection with the server was terminated abnormally.";
        case 12031:
            return "The connection with the server was reset.";
        case 12037:
        case 12038:
        case 12045:
        case 12057:
        case 12157:
        case 12175:
            return "The server's certificate or the secure channel was refused.";
        case 12152:
            return "The server returned an invalid or unrecognized response.";
        default:
            return nullptr;
    }
}

}  // namespace

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
    if (out.empty() && internet && InternetText(code)) {
        out = InternetText(code);
    }
    if (out.empty()) {
        out = "error " + std::to_string(code);
    }
    return out;
}

}  // namespace plat
