// Start-up of the window toolkit.
#pragma once

namespace plat {

// Opens the display. False when there is none; the program can then run
// only headless (tests).
bool InitToolkit(int* argc, char*** argv);
bool ToolkitReady();

// Runs pending toolkit events without blocking (tests).
void PumpEvents();

}  // namespace plat
