// Fetches the URL on the command line with the real client and the real
// credentials dialog, then prints "result|body lines" (joined) for the GUI
// test. With --over-window the fetch runs from the first tick of a main
// window "DoruzorO", as the game's submission does, and the window stays
// open afterwards (until it is closed), so that a test can see where the
// focus goes when the dialog closes.
#include <cstdio>
#include <cstring>
#include <string>

#include "http/KoruHttpConnect.h"
#include "platform/toolkit.h"
#include "platform/window.h"

namespace {

constexpr unsigned kVkReturn = 0x0D;
constexpr unsigned kVkEscape = 0x1B;

void FetchAndPrint(const char* url) {
    CKoruHttpConnect connect;
    const int result = connect.GetPage(url, "", "");
    std::string body;
    for (const std::string& line : connect.m_arrLines) {
        body += line;
    }
    std::printf("%d|%s\n", result, body.c_str());
    std::fflush(stdout);
}

class CHostWindow : public plat::CDialog {
public:
    explicit CHostWindow(const char* url) : CDialog("DoruzorO", 488, 351), m_pUrl(url) {}
    bool OnInitDialog() override { return SetTimer(1, 100); }
    // Ticks go on while the dialog runs its own loop: only the first fetches.
    void OnTimer(unsigned) override {
        if (m_bFetched)
            return;
        m_bFetched = true;
        FetchAndPrint(m_pUrl);
    }
    // As in the game, Escape and Enter never close the main window; being
    // asked to close (the window manager, SIGTERM) does.
    bool PreTranslateMessage(const plat::MSG& msg) override {
        const bool bKey = msg.message == plat::WM_KEYDOWN || msg.message == plat::WM_KEYUP;
        return bKey && (msg.wParam == kVkReturn || msg.wParam == kVkEscape);
    }

private:
    const char* m_pUrl;
    bool m_bFetched = false;
};

}  // namespace

int main(int argc, char** argv) {
    const bool bOverWindow = argc > 1 && std::strcmp(argv[1], "--over-window") == 0;
    if (!plat::InitToolkit(&argc, &argv) || argc < (bOverWindow ? 3 : 2)) {
        std::fprintf(stderr, "usage: credentials_driver [--over-window] URL (with a display)\n");
        return 2;
    }
    if (!bOverWindow) {
        FetchAndPrint(argv[1]);
        return 0;
    }
    CHostWindow host(argv[2]);
    host.DoModal();
    return 0;
}
