// A clock that moves only when told to. Sleep advances it at once.
#pragma once
#include "platform/clock.h"

namespace plat {

class CFakeClock : public IClock {
public:
    explicit CFakeClock(uint32_t start = 100000) : m_dwNow(start) {}
    uint32_t Now() override { return m_dwNow; }
    void Sleep(uint32_t ms) override {
        m_dwSlept += ms;
        m_dwNow += ms;
    }
    void Advance(uint32_t ms) { m_dwNow += ms; }
    uint32_t Slept() const { return m_dwSlept; }

private:
    uint32_t m_dwNow;
    uint32_t m_dwSlept = 0;
};

// Installs a clock on the calling thread for the lifetime of the guard.
class CClockGuard {
public:
    explicit CClockGuard(IClock& clock) { SetClock(&clock); }
    ~CClockGuard() { SetClock(nullptr); }
    CClockGuard(const CClockGuard&) = delete;
    CClockGuard& operator=(const CClockGuard&) = delete;
};

}  // namespace plat
