// Fetches the URL on the command line with the real client and the real
// credentials dialog, then prints "result|body lines" (joined) for the GUI test.
#include <cstdio>

#include "http/KoruHttpConnect.h"
#include "platform/toolkit.h"

int main(int argc, char** argv) {
    if (!plat::InitToolkit(&argc, &argv) || argc < 2) {
        std::fprintf(stderr, "usage: credentials_driver URL (with a display)\n");
        return 2;
    }
    CKoruHttpConnect connect;
    const int result = connect.GetPage(argv[1], "", "");
    std::string body;
    for (const std::string& line : connect.m_arrLines) {
        body += line;
    }
    std::printf("%d|%s\n", result, body.c_str());
    return 0;
}
