// The main window. Not built yet: it is never shown, DoModal answers "no
// display", and tests drive keys, ticks and paints by hand as headless.
// Before the system's headers: its message names are macros there.
#include "platform/window.h"

#include "platform/win32/wide.h"
#include "platform/win32/window_internal.h"

namespace plat {

namespace win32 {
HWND MainWindowHandle() {
    return nullptr;
}
}  // namespace win32

struct CWnd::Impl {};

std::string ExecutableDir() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) {
            return ".";
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::string exe = ProgramPath(path);
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
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
    return true;
}
void CDialog::SetIcon(const std::vector<std::string>& /*pngFiles*/) {}
bool CDialog::DestroyWindow() {
    return true;
}

}  // namespace plat
