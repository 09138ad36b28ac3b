// The main window: a top-level window of the system whose client area is
// exactly the scenes' picture, whatever the system's fonts or DPI (a dialog
// template would size it in dialog units, and replays record the size).
// Keys arrive as the system's virtual-key messages, the 100 ms timer as
// WM_TIMER, also while a box or dialog runs its own loop, and the picture
// is a DIB section that WM_PAINT copies to the screen.
// Before the system's headers: its message and key names are macros there.
#include "platform/window.h"

#include "platform/keys.h"
#include "platform/toolkit.h"
#include "platform/win32/gfx_internal.h"
#include "platform/win32/toolkit_internal.h"
#include "platform/win32/wide.h"
#include "platform/win32/window_internal.h"

namespace plat {
namespace {

constexpr wchar_t kClassName[] = L"DoruzorOWindow";
// A paint that PostPaint asked for; the system's WM_PAINT only copies the
// picture, and never comes while the window is minimised.
constexpr UINT kPaintMessage = WM_APP + 1;
// A caption with the close box and no minimise or maximise box; a fixed frame.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_APPWINDOW;

HWND g_hMain = nullptr;

HICON LoadProgramIcon(int metricX, int metricY) {
    return static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(win32::kIconId), IMAGE_ICON,
        GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_DEFAULTCOLOR | LR_SHARED));
}

void PaintPicture(HWND hWnd, const CSurface& surface) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hWnd, &ps);
    if (hdc && !::IsIconic(hWnd)) {
        HDC mem = CreateCompatibleDC(hdc);
        const HGDIOBJ old = ::SelectObject(mem, surface.GetImpl()->dib.Bitmap());
        const ::RECT& rc = ps.rcPaint;
        ::BitBlt(hdc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, rc.left, rc.top,
                 SRCCOPY);
        ::SelectObject(mem, old);
        DeleteDC(mem);
    }
    EndPaint(hWnd, &ps);
}

// A held key repeats as further key-downs, one for each the system counted,
// as the other implementations report them.
void DeliverKeyDowns(CDialog& dlg, WPARAM wParam, LPARAM lParam) {
    const unsigned vk = VirtualKeyFromKeyval(static_cast<unsigned>(wParam));
    const unsigned count = static_cast<unsigned>(lParam & 0xFFFF);
    for (unsigned i = 0; i < (count ? count : 1); ++i) {
        dlg.DeliverKey(WM_KEYDOWN, vk);
    }
}

LRESULT HandleMessage(CDialog& dlg, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintPicture(hWnd, dlg.GetSurface());
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the scenes paint the whole client area
        case kPaintMessage:
            dlg.DispatchPendingPaint();
            return 0;
        case WM_TIMER:
            dlg.DeliverTimer(static_cast<unsigned>(wParam));
            return 0;
        case WM_KEYDOWN:
            DeliverKeyDowns(dlg, wParam, lParam);
            return 0;
        case WM_SYSKEYDOWN:
            // Alt and F10 are keys like any other: no menu mode. Alt+F4
            // still closes the window, as the close box does.
            DeliverKeyDowns(dlg, wParam, lParam);
            return wParam == VK_F4 ? DefWindowProcW(hWnd, message, wParam, lParam) : 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            dlg.DeliverKey(WM_KEYUP, VirtualKeyFromKeyval(static_cast<unsigned>(wParam)));
            return 0;
        case WM_CHAR:
        case WM_SYSCHAR:
            return 0;  // no beep for a letter with Alt
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_KEYMENU) {
                return 0;
            }
            break;
        case WM_ACTIVATE:
            dlg.DeliverActivate(LOWORD(wParam) != WA_INACTIVE);
            break;  // the system gives the window the keyboard focus
        case WM_CLOSE:
            dlg.DeliverClose();
            return 0;  // the window goes in DestroyWindow, after the settings are saved
        case WM_ENDSESSION:
            // The process ends once this returns: the settings are saved now.
            if (wParam) {
                dlg.DeliverClose();
                dlg.DestroyWindow();
            }
            return 0;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<LRESULT>(LoadProgramIcon(SM_CXICON, SM_CYICON));
        default:
            break;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* dlg = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!dlg) {
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
    return HandleMessage(*dlg, hWnd, message, wParam, lParam);
}

bool RegisterWindowClass() {
    static const bool bRegistered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadProgramIcon(SM_CXICON, SM_CYICON);
        wc.hIconSm = LoadProgramIcon(SM_CXSMICON, SM_CYSMICON);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0;
    }();
    return bRegistered;
}

// The frame is what the system's metrics make it; the client area must be
// the picture's size to the pixel.
void FitClientArea(HWND hWnd, int cx, int cy) {
    ::RECT client;
    ::RECT outer;
    if (!::GetClientRect(hWnd, &client) || !GetWindowRect(hWnd, &outer)) {
        return;
    }
    const int dx = cx - (client.right - client.left);
    const int dy = cy - (client.bottom - client.top);
    if (dx != 0 || dy != 0) {
        SetWindowPos(hWnd, nullptr, 0, 0, outer.right - outer.left + dx,
                     outer.bottom - outer.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// At the screen's top left, as the game always opened.
HWND CreateGameWindow(const std::string& caption, int cx, int cy, CDialog* pDialog) {
    ::RECT rc = {0, 0, cx, cy};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    const HWND hWnd = CreateWindowExW(kExStyle, kClassName, Wide(caption).c_str(), kStyle, 0, 0,
                                      rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), pDialog);
    if (hWnd) {
        FitClientArea(hWnd, cx, cy);
    }
    return hWnd;
}

}  // namespace

namespace win32 {
HWND MainWindowHandle() {
    return g_hMain;
}
}  // namespace win32

struct CWnd::Impl {
    HWND hWnd = nullptr;
    std::vector<UINT_PTR> timers;

    // Stops the timers and destroys the system's window.
    void Release() {
        if (!hWnd) {
            return;
        }
        const HWND h = hWnd;
        hWnd = nullptr;
        for (const UINT_PTR id : timers) {
            KillTimer(h, id);
        }
        timers.clear();
        if (g_hMain == h) {
            g_hMain = nullptr;
        }
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);  // no message reaches the object any more
        ::DestroyWindow(h);
    }

    ~Impl() { Release(); }
};

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

// ---- CWnd ----

CWnd::CWnd(int cx, int cy)
    : m_pImpl(std::make_unique<Impl>()), m_pSurface(std::make_unique<CSurface>(cx, cy)) {}

CWnd::~CWnd() = default;

std::unique_ptr<CDC> CWnd::GetDC() {
    const HWND hWnd = m_pImpl->hWnd;
    return std::make_unique<CDC>(*m_pSurface, [hWnd] {
        if (hWnd && IsWindow(hWnd)) {
            InvalidateRect(hWnd, nullptr, FALSE);
        }
    });
}

void CWnd::SchedulePaint() {
    if (m_pImpl->hWnd) {
        PostMessageW(m_pImpl->hWnd, kPaintMessage, 0, 0);
    }
}

void* CWnd::GetNativeWindow() const {
    return m_pImpl->hWnd;
}

bool CWnd::IsIconic() const {
    return m_pImpl->hWnd && ::IsIconic(m_pImpl->hWnd);
}

// ---- CDialog ----

CDialog::CDialog(std::string caption, int cxDlu, int cyDlu)
    : CWnd(DluToPixelsX(cxDlu), DluToPixelsY(cyDlu)), m_strCaption(std::move(caption)) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    if (!ToolkitReady() || !RegisterWindowClass()) {
        return -1;
    }
    const HWND hWnd =
        CreateGameWindow(m_strCaption, m_pSurface->GetWidth(), m_pSurface->GetHeight(), this);
    if (!hWnd) {
        return -1;
    }
    m_pImpl->hWnd = hWnd;
    if (!g_hMain) {
        g_hMain = hWnd;  // the first is the program's own
    }
    ShowWindow(hWnd, SW_SHOW);
    SetForegroundWindow(hWnd);
    SetFocus(hWnd);
    OnInitDialog();
    PostPaint();
    {
        const win32::CLoopScope loop;
        while (!m_bEnded) {
            ::MSG msg;
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got <= 0) {
                // A quit message (the update launch's) ends the loop as
                // EndDialog does; the settings are saved all the same.
                m_nResult = IDCANCEL;
                m_bEnded = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DestroyWindow();
    return m_nResult;
}

void CDialog::QuitModalLoop() {
    if (m_pImpl->hWnd) {
        PostMessageW(m_pImpl->hWnd, WM_NULL, 0, 0);  // the loop looks at m_bEnded again
    }
}

bool CDialog::SetTimer(unsigned id, unsigned ms) {
    if (!m_pImpl->hWnd) {
        return true;  // headless: tests deliver the ticks themselves
    }
    if (!::SetTimer(m_pImpl->hWnd, id, ms, nullptr)) {
        return false;
    }
    m_pImpl->timers.push_back(id);
    return true;
}

// The program's icon resource, made at build time from the same pictures
// that the other systems load from these files.
void CDialog::SetIcon(const std::vector<std::string>& /*pngFiles*/) {
    if (!m_pImpl->hWnd) {
        return;
    }
    if (HICON hBig = LoadProgramIcon(SM_CXICON, SM_CYICON)) {
        SendMessageW(m_pImpl->hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hBig));
    }
    if (HICON hSmall = LoadProgramIcon(SM_CXSMICON, SM_CYSMICON)) {
        SendMessageW(m_pImpl->hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hSmall));
    }
}

bool CDialog::DestroyWindow() {
    m_pImpl->Release();
    return true;
}

}  // namespace plat
