// The tick counter of a re-run: each read inside an event takes the next
// recorded value of that event, so the game sees exactly what it saw.
#pragma once
#include <cstdint>

#include "platform/clock.h"
#include "replay/ReplayCodec.h"
#include "replay/ReplayTimer.h"

namespace replay {

class CReplayClock : public plat::IClock {
public:
    // pSleeper sleeps for real (a replay that is listened to); without it
    // the game's pauses take no time.
    CReplayClock(CReplayReader& reader, plat::IClock* pSleeper)
        : m_reader(reader), m_pSleeper(pSleeper) {}

    void BeginEvent() {
        m_bInEvent = true;
        m_bOverrun = false;
    }
    void EndEvent() { m_bInEvent = false; }
    // The event's first value, already taken from the reader (to see when
    // the event is due); the event's first read gets it.
    void Prime(uint32_t dwFirst) {
        m_dwPrimed = dwFirst;
        m_bPrimed = true;
    }
    // True when the event read more values than were recorded for it.
    bool Overrun() const { return m_bOverrun; }
    // A verifier sees every value the game takes and every pause it makes.
    void SetRules(CTimerRules* pRules) { m_pRules = pRules; }

    uint32_t Now() override {
        uint32_t v = 0;
        if (m_bInEvent && m_bPrimed) {
            m_bPrimed = false;
            return Took(m_dwPrimed);
        }
        if (m_bInEvent && m_reader.NextRead(v))
            return Took(v);
        m_bOverrun = m_bOverrun || m_bInEvent;
        return m_dwLast;
    }
    void Sleep(uint32_t ms) override {
        if (m_pRules)
            m_pRules->OnSleep(ms);
        if (m_pSleeper)
            m_pSleeper->Sleep(ms);
    }

private:
    uint32_t Took(uint32_t v) {
        m_dwLast = v;
        if (m_pRules)
            m_pRules->OnRead(v);
        return v;
    }

    CReplayReader& m_reader;
    plat::IClock* m_pSleeper;
    CTimerRules* m_pRules = nullptr;
    uint32_t m_dwLast = 0;
    uint32_t m_dwPrimed = 0;
    bool m_bPrimed = false;
    bool m_bInEvent = false;
    bool m_bOverrun = false;
};

// Installs a clock and puts the one before it back.
class CClockSwap {
public:
    explicit CClockSwap(plat::IClock& clock) : m_pBefore(plat::GetClock()) {
        plat::SetClock(&clock);
    }
    ~CClockSwap() { plat::SetClock(m_pBefore); }
    CClockSwap(const CClockSwap&) = delete;
    CClockSwap& operator=(const CClockSwap&) = delete;

private:
    plat::IClock* m_pBefore;
};

}  // namespace replay
