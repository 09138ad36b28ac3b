// Tells what the system knows of a running program's window, for the
// Windows GUI test: window_probe CAPTION prints one "name: value" a line,
// or exits 1 when no visible top-level window has that caption.
#include <windows.h>

#include <cstdio>

namespace {

struct SFound {
    const wchar_t* caption;
    HWND hWnd = nullptr;
};

BOOL CALLBACK Match(HWND hWnd, LPARAM data) {
    auto* found = reinterpret_cast<SFound*>(data);
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    if (IsWindowVisible(hWnd) && !GetWindow(hWnd, GW_OWNER) && wcscmp(text, found->caption) == 0) {
        found->hWnd = hWnd;
        return FALSE;
    }
    return TRUE;
}

// -1 where the system has no such call.
int DpiAwareness(HWND hWnd) {
    using GetContext = void*(WINAPI*)(HWND);
    using GetAwareness = int(WINAPI*)(void*);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto getContext = reinterpret_cast<GetContext>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    auto getAwareness = reinterpret_cast<GetAwareness>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    return getContext && getAwareness ? getAwareness(getContext(hWnd)) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_probe CAPTION\n");
        return 2;
    }
    wchar_t caption[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, caption, 255);
    SFound found;
    found.caption = caption;
    EnumWindows(Match, reinterpret_cast<LPARAM>(&found));
    if (!found.hWnd) {
        std::printf("window: none\n");
        return 1;
    }
    RECT client = {};
    RECT outer = {};
    GetClientRect(found.hWnd, &client);
    GetWindowRect(found.hWnd, &outer);
    POINT origin = {0, 0};
    ClientToScreen(found.hWnd, &origin);
    const LONG style = GetWindowLongW(found.hWnd, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(found.hWnd, GWL_EXSTYLE);
    std::printf("client: %ldx%ld\n", client.right - client.left, client.bottom - client.top);
    std::printf("client origin: %ld,%ld\n", origin.x, origin.y);
    std::printf("window: %ldx%ld\n", outer.right - outer.left, outer.bottom - outer.top);
    std::printf("close box: %s\n", (style & WS_SYSMENU) ? "yes" : "no");
    std::printf("minimise box: %s\n", (style & WS_MINIMIZEBOX) ? "yes" : "no");
    std::printf("maximise box: %s\n", (style & WS_MAXIMIZEBOX) ? "yes" : "no");
    std::printf("resizable: %s\n", (style & WS_THICKFRAME) ? "yes" : "no");
    std::printf("task bar: %s\n", (exStyle & WS_EX_APPWINDOW) ? "yes" : "no");
    std::printf("dpi awareness: %d\n", DpiAwareness(found.hWnd));
    return 0;
}
