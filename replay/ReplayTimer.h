// What a re-run believes of the recorded counter values and paints: only
// what the real host's 100 ms timer and its paints can give. The uploader
// chooses every value, so a clock that stands still, runs back or races
// ahead of the ticks, or a game without its paints, would change the game's
// timed rules (the beam, the barrier, recharges, spawns) without a trace.
#pragma once
#include <cstdint>
#include <string>

#include "replay/ReplayCodec.h"

namespace replay {

// The host's timer, and how far a real one strays from it. Measured under
// Xvfb on a loaded machine, the gaps between ticks ran 98 to 191 ms outside
// the pauses, 101 ms on average.
constexpr uint32_t kTimerMs = 100;
// Ticks may come early by this much in all against the timer's own schedule
// (a tick's callback that started late is followed by one on time).
constexpr uint32_t kTimerEarlyMs = 250;
// Ticks may come late, beyond what the game's pauses explain, by this much
// in all plus a share of the time the ticks stand for (stalls of the machine).
constexpr uint32_t kTimerLateMs = 5000;
constexpr uint32_t kTimerLatePercent = 10;
// A paint the game asked for may wait out one tick (a tick slower than the
// timer is followed at once by the next), never two.
constexpr int kTicksBeforePaint = 1;

struct STimerStats {
    uint64_t nTicks = 0;
    uint32_t dwMinGap = 0;  // between consecutive ticks, pauses left out
    uint32_t dwMaxGap = 0;
    int64_t nLateMs = 0;  // the ticks' lateness in all, beyond the pauses
};

class CTimerRules {
public:
    // Each event on the scene (nEvent counts from 1, the start), and
    // whether it asked for a paint.
    void BeginEvent(uint64_t nEvent, EEvent kind);
    void EndEvent(bool bPaintAsked);
    // Each counter value the game read, and each pause it made.
    void OnRead(uint32_t dwValue);
    void OnSleep(uint32_t ms);

    // The reason once a rule is broken; the first broken rule stays.
    bool Broken() const { return !m_strBroken.empty(); }
    const std::string& Reason() const { return m_strBroken; }
    // True when the broken rule is a paint's, not the clock's.
    bool PaintsMissing() const { return m_bPaints; }
    const STimerStats& Stats() const { return m_stats; }

private:
    void Break(const std::string& strWhat, bool bPaints = false);
    void OnTick(uint32_t dwValue);
    // When the next tick is due, and how far one at dwValue stands behind that.
    int64_t NextDue() const;
    int64_t Behind(uint32_t dwValue) const;
    int64_t LateAllowed() const;

    uint64_t m_nEvent = 0;
    EEvent m_kind = EV_START;
    bool m_bFirstRead = false;
    bool m_bAnyRead = false;
    uint32_t m_dwLast = 0;
    uint64_t m_nSleptSinceRead = 0;
    // The timer's schedule runs from the start's first read: each tick is
    // due a timer period after the one before, or when the pauses between
    // them end, whichever is later.
    bool m_bScheduled = false;
    uint32_t m_dwBase = 0;
    int64_t m_nDue = 0;  // the last tick's due time, from the base
    uint32_t m_dwLastTick = 0;
    uint64_t m_nSleptSinceTick = 0;
    int64_t m_nMostBehind = 0;
    bool m_bPaintOwed = false;
    int m_nTicksOwed = 0;
    STimerStats m_stats;
    std::string m_strBroken;
    bool m_bPaints = false;
};

}  // namespace replay
