// Start-up of the window toolkit.
#pragma once

namespace plat {

// Opens the display. False when there is none; the program can then run
// only headless (tests).
bool InitToolkit(int* argc, char*** argv);
bool ToolkitReady();

// Runs pending toolkit events without blocking (tests).
void PumpEvents();

// Marks a message box or dialog that runs its own loop inside a handler of
// the main window, for as long as the object lives.
class CNestedLoop {
public:
    CNestedLoop();
    ~CNestedLoop();
    CNestedLoop(const CNestedLoop&) = delete;
    CNestedLoop& operator=(const CNestedLoop&) = delete;
};

// True while a box or dialog runs nested: the timer still ticks then, and
// the code that opened the box is still on the stack.
bool InNestedLoop();

// The real clock's Sleep on the thread that runs the toolkit's loop, inside
// a handler (a stage announcement's pause between voice clips): the loop
// keeps running for that long, so that the desktop and the accessibility bus
// get their answers, while the windows hold back their ticks, keys, focus
// changes and paints (window.h). True while such a sleep runs.
bool InHeldSleep();
// Runs such a sleep; false, at once, when the calling thread is not in the
// toolkit's loop (start-up, another thread, no display): it then sleeps plainly.
bool SleepInLoop(unsigned ms);

}  // namespace plat
