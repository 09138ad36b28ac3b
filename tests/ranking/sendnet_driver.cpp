// Shows the real registration dialog with the name and area given on the
// command line and prints "result|name|area" when it ends, for the GUI test.
// With a third argument "--then-credentials" the credentials dialog follows,
// as it does when the ranking server asks for them. With a first argument
// "--over-window" the dialog opens from the first tick of a main window
// (tests/support/HostWindow.h), as the game opens it.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/credentials.h"
#include "platform/toolkit.h"
#include "ranking/DlgSendNet.h"
#include "tests/support/HostWindow.h"

namespace {

void AskAndPrint(const char* name, const char* aria, bool bThenCredentials) {
    CDlgSendNet dlg;
    dlg.m_strName = name;
    dlg.m_strAria = aria;
    const int result = dlg.DoModal();
    std::printf("%d|%s|%s\n", result, dlg.m_strName.c_str(), dlg.m_strAria.c_str());
    std::fflush(stdout);
    if (bThenCredentials) {
        plat::CCredentials credentials;
        plat::AskCredentials("127.0.0.1", "ranking", credentials);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!plat::InitToolkit(&argc, &argv)) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    const bool bOverWindow = argc > 1 && std::strcmp(argv[1], "--over-window") == 0;
    if (bOverWindow) {
        --argc;
        ++argv;
    }
    const char* name = argc > 1 ? argv[1] : "";
    const char* aria = argc > 2 ? argv[2] : "";
    const bool bThenCredentials = argc > 3 && std::strcmp(argv[3], "--then-credentials") == 0;
    if (!bOverWindow) {
        AskAndPrint(name, aria, bThenCredentials);
        return 0;
    }
    CHostWindow host([=] { AskAndPrint(name, aria, bThenCredentials); });
    host.DoModal();
    return 0;
}
