#include "platform/toolkit.h"

#include "platform/native.h"

namespace plat {
namespace {
int g_nNestedLoops = 0;
thread_local int t_nHeldSleeps = 0;
}  // namespace

CNestedLoop::CNestedLoop() {
    ++g_nNestedLoops;
}

CNestedLoop::~CNestedLoop() {
    --g_nNestedLoops;
}

bool InNestedLoop() {
    return g_nNestedLoops > 0;
}

bool InHeldSleep() {
    return t_nHeldSleeps > 0;
}

bool SleepInLoop(unsigned ms) {
    if (t_nHeldSleeps > 0 || !native::OnLoopThread()) {
        return false;
    }
    ++t_nHeldSleeps;
    native::RunLoopFor(ms);
    --t_nHeldSleeps;
    return true;
}

}  // namespace plat
