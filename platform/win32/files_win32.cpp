// Files through the W functions: every path is UTF-8 inside and UTF-16 at
// the system, with '/' or '\' between its parts.
#include <algorithm>

#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace plat {

std::string GetCurrentDirectory() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), &buf[0]);
        if (n == 0) {
            return std::string();
        }
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(n);
    }
    std::string dir = ProgramPath(buf);
    while (!dir.empty() && dir.back() == '/') {
        dir.pop_back();  // the root would give "C://image"
    }
    return dir;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadFile(const std::string& path, std::string& out) {
    CHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) > out.max_size()) {
        return false;
    }
    std::string bytes;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), &bytes[done], want, &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    out = std::move(bytes);
    return true;
}

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + done, want, &put, nullptr) || put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& err) {
    const std::wstring target = WidePath(path);
    const std::wstring tmp = WidePath(PartialFileName(path));
    CHandle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        err = SystemMessage(GetLastError());
        return false;
    }
    bool ok = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
    DWORD code = ok ? 0 : GetLastError();
    file.Reset();
    if (ok && MoveFileExW(tmp.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (ok) {
        code = GetLastError();
    }
    err = SystemMessage(code);
    DeleteFileW(tmp.c_str());
    return false;
}

}  // namespace plat
