#include "platform/clock.h"

#include "platform/toolkit.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <thread>
#endif

namespace plat {
namespace {

// The system's own counter and sleep where there is one, as the original
// program read them.
class CRealClock : public IClock {
public:
#ifdef _WIN32
    uint32_t Now() override {
        return ::GetTickCount();
    }
    // A pause of the toolkit's thread keeps its loop answering (toolkit.h).
    void Sleep(uint32_t ms) override {
        if (ms == 0 || !SleepInLoop(ms)) {
            ::Sleep(ms);
        }
    }
#else
    uint32_t Now() override {
        using namespace std::chrono;
        const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
        return static_cast<uint32_t>(ms.count());
    }
    void Sleep(uint32_t ms) override {
        if (ms == 0 || !SleepInLoop(ms)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }
#endif
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

std::tm LocalTime(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    return local;
}

}  // namespace plat
