// The program's entry: names the settings store and runs the main window.
#include <cstdio>
#include <string>

#include "app/DoruzorODlg.h"
#include "platform/profile.h"
#include "platform/toolkit.h"

namespace {
// The application is named after its executable, without extension.
std::string AppName(const char* argv0) {
    std::string name = argv0 ? argv0 : "doruzoro";
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name.empty() ? std::string("doruzoro") : name;
}
}  // namespace

int main(int argc, char** argv) {
    if (!plat::InitToolkit(&argc, &argv)) {
        std::fprintf(stderr, "doruzoro: cannot open the display\n");
        return 1;
    }
    plat::SetAppName(AppName(argv[0]));
    plat::SetRegistryKey("koruhaus");
    CDoruzorODlg dlg;
    dlg.DoModal();
    return 0;
}
