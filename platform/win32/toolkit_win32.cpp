// Start-up of the user interface. Not built yet: the program answers as if
// there were no display, so boxes and dialogs take their headless road.
#include "platform/native.h"
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

namespace plat {
namespace native {

// No speech service on Windows: every announcement comes as a box, which
// the screen reader reads.
bool Speak(const std::string& /*text*/) {
    return false;
}

bool OnLoopThread() {
    return false;
}

void RunLoopFor(unsigned /*ms*/) {}

}  // namespace native
}  // namespace plat
