// What the window's modal loop shares with the toolkit's: which thread runs
// a loop of ours. Win32 platform code only.
#pragma once

namespace plat {
namespace win32 {

// Marks a main window's modal loop on the calling thread for as long as
// the object lives: handlers dispatched meanwhile may run the loop again
// (a held sleep).
class CLoopScope {
public:
    CLoopScope();
    ~CLoopScope();
    CLoopScope(const CLoopScope&) = delete;
    CLoopScope& operator=(const CLoopScope&) = delete;
};

}  // namespace win32
}  // namespace plat
