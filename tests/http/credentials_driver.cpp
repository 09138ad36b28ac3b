// Fetches the URL on the command line with the real client and the real
// credentials dialog, then prints "result|body lines" (joined) for the GUI
// test. With --over-window the fetch runs from the first tick of a main
// window (tests/support/HostWindow.h), as the game's submission does.
#include <cstdio>
#include <cstring>
#include <string>

#include "http/KoruHttpConnect.h"
#include "platform/toolkit.h"
#include "tests/support/HostWindow.h"

namespace {

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
    const char* url = argv[2];
    CHostWindow host([url] { FetchAndPrint(url); });
    host.DoModal();
    return 0;
}
