// Start-up of the user interface. Not built yet: the program answers as if
// there were no display, so boxes and dialogs take their headless road.
#include "platform/toolkit.h"

namespace plat {

bool InitToolkit(int* /*argc*/, char*** /*argv*/) {
    return false;
}

bool ToolkitReady() {
    return false;
}

void PumpEvents() {}

}  // namespace plat
