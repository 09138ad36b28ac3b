#include "platform/clock.h"

#include "platform/toolkit.h"

#include <chrono>
#include <thread>

namespace plat {
namespace {

class CRealClock : public IClock {
public:
    uint32_t Now() override {
        using namespace std::chrono;
        const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
        return static_cast<uint32_t>(ms.count());
    }
    // A pause of the toolkit's thread keeps its loop answering (toolkit.h).
    void Sleep(uint32_t ms) override {
        if (ms == 0 || !SleepInLoop(ms)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }
};

CRealClock g_realClock;
// Per thread, so that a game re-run on one thread reads its own recorded
// counter while another thread's game reads another.
thread_local IClock* g_pClock = &g_realClock;

}  // namespace

uint32_t GetTickCount() {
    return g_pClock->Now();
}
void Sleep(uint32_t ms) {
    g_pClock->Sleep(ms);
}
void SetClock(IClock* clock) {
    g_pClock = clock ? clock : &g_realClock;
}
IClock* GetClock() {
    return g_pClock;
}

}  // namespace plat
