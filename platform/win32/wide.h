// UTF-8 inside, UTF-16 at the Windows API. Platform code only.
#pragma once
#include <windows.h>

#include <string>

// The system's A/W switches that share names with our own services; the
// platform code calls the system's by their W names.
#undef GetCurrentDirectory
#undef GetProfileString
#undef WriteProfileString
#undef MessageBox

#include "platform/utf8.h"

namespace plat {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline std::wstring Wide(const std::string& text) {
    const std::u16string u = Utf8ToUtf16(text);
    return std::wstring(u.begin(), u.end());
}

inline std::string Narrow(const wchar_t* text, size_t length) {
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(text), length);
}

inline std::string Narrow(const std::wstring& text) {
    return Narrow(text.data(), text.size());
}

// A path as the file functions take it: every '/' back to '\'.
inline std::wstring WidePath(const std::string& path) {
    std::wstring out = Wide(path);
    for (wchar_t& c : out) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return out;
}

// A path as the program keeps it: '/' between the parts, as on every system.
inline std::string ProgramPath(const std::wstring& path) {
    std::string out = Narrow(path);
    for (char& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    return out;
}

// The system's text for an error code, without its line end.
std::string SystemMessage(DWORD code);

// Closes a kernel handle at the end of its scope.
class CHandle {
public:
    explicit CHandle(HANDLE h = nullptr) : m_h(h) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr) {
        if (Valid()) {
            CloseHandle(m_h);
        }
        m_h = h;
    }

private:
    HANDLE m_h;
};

}  // namespace plat
