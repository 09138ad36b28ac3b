// A window that is never shown: a headless program has no display, so
// DoModal refuses at once, and tests drive keys, ticks and paints by hand.
#include <string>

#include "platform/window.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <climits>
#endif

namespace plat {

struct CWnd::Impl {};

std::string ExecutableDir() {
#ifdef _WIN32
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return ".";
    }
    std::wstring path(buf, n);
    path = path.substr(0, path.find_last_of(L"\\/"));
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    return out.empty() ? "." : out;
#else
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) {
        return ".";
    }
    const std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
#endif
}

CWnd::CWnd(int cx, int cy)
    : m_pImpl(std::make_unique<Impl>()), m_pSurface(std::make_unique<CSurface>(cx, cy)) {}

CWnd::~CWnd() = default;

std::unique_ptr<CDC> CWnd::GetDC() {
    return std::make_unique<CDC>(*m_pSurface);
}

void CWnd::SchedulePaint() {}

void* CWnd::GetNativeWindow() const {
    return nullptr;
}

bool CWnd::IsIconic() const {
    return false;
}

CDialog::CDialog(std::string caption, int cxDlu, int cyDlu)
    : CWnd(DluToPixelsX(cxDlu), DluToPixelsY(cyDlu)), m_strCaption(std::move(caption)) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    return -1;
}

void CDialog::QuitModalLoop() {}

bool CDialog::SetTimer(unsigned /*id*/, unsigned /*ms*/) {
    return true;  // the ticks come from whoever drives the window
}

void CDialog::SetIcon(const std::vector<std::string>& /*pngFiles*/) {}

bool CDialog::DestroyWindow() {
    return true;
}

}  // namespace plat
