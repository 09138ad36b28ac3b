// Start-up of the user interface and the held sleep's loop.
#include "platform/native.h"
#include "platform/toolkit.h"
#include "platform/win32/toolkit_internal.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {
bool g_bReady = false;
thread_local int t_nLoops = 0;

// A service's session, or Wine without an X display, has no desktop that
// windows can be shown on: the program then runs only headless.
bool HasDesktop() {
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    if (station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
        !(flags.dwFlags & WSF_VISIBLE)) {
        return false;
    }
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!probe) {
        return false;
    }
    DestroyWindow(probe);
    return true;
}
}  // namespace

bool InitToolkit(int* /*argc*/, char*** /*argv*/) {
    if (!g_bReady) {
        g_bReady = HasDesktop();
    }
    return g_bReady;
}

bool ToolkitReady() {
    return g_bReady;
}

void PumpEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop it belongs to
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

namespace win32 {

CLoopScope::CLoopScope() {
    ++t_nLoops;
}

CLoopScope::~CLoopScope() {
    --t_nLoops;
}

}  // namespace win32

namespace native {

// No speech service on Windows: every announcement comes as a box, which
// the screen reader reads.
bool Speak(const std::string& /*text*/) {
    return false;
}

bool OnLoopThread() {
    return g_bReady && t_nLoops > 0;
}

void RunLoopFor(unsigned ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            return;
        }
        const DWORD left = static_cast<DWORD>(end - now);
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjectsEx(0, nullptr, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            continue;
        }
        if (msg.message == WM_QUIT) {
            // The quit belongs to the loop outside: the rest of the sleep
            // is plain, and the message goes back for that loop to see.
            Sleep(left);
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace native
}  // namespace plat
