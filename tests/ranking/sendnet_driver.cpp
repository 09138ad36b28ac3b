// Shows the real registration dialog with the name and area given on the
// command line and prints "result|name|area" when it ends, for the GUI test.
// With a third argument "--then-credentials" the credentials dialog follows,
// as it does when the ranking server asks for them.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/credentials.h"
#include "platform/toolkit.h"
#include "ranking/DlgSendNet.h"

int main(int argc, char** argv) {
    if (!plat::InitToolkit(&argc, &argv)) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    CDlgSendNet dlg;
    dlg.m_strName = argc > 1 ? argv[1] : "";
    dlg.m_strAria = argc > 2 ? argv[2] : "";
    const int result = dlg.DoModal();
    std::printf("%d|%s|%s\n", result, dlg.m_strName.c_str(), dlg.m_strAria.c_str());
    std::fflush(stdout);
    if (argc > 3 && std::strcmp(argv[3], "--then-credentials") == 0) {
        plat::CCredentials credentials;
        plat::AskCredentials("127.0.0.1", "ranking", credentials);
    }
    return 0;
}
