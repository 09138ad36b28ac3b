#include "replay/ReplayTimer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace replay {
namespace {

// Wraps as the counter does: a value a little past 2^32 is after one below it.
int64_t Since(uint32_t dwFrom, uint32_t dwTo) {
    return static_cast<int32_t>(dwTo - dwFrom);
}

}  // namespace

void CTimerRules::Break(const std::string& strWhat, bool bPaints) {
    if (Broken())
        return;
    char at[64];
    std::snprintf(at, sizeof at, "event %" PRIu64 " (%s) ", m_nEvent, EventName(m_kind));
    m_strBroken = at + strWhat;
    m_bPaints = bPaints;
}

void CTimerRules::BeginEvent(uint64_t nEvent, EEvent kind) {
    m_nEvent = nEvent;
    m_kind = kind;
    m_bFirstRead = true;
    if (kind == EV_DRAW) {
        m_bPaintOwed = false;
        m_nTicksOwed = 0;
    } else if (kind == EV_TICK && m_bPaintOwed && ++m_nTicksOwed > kTicksBeforePaint) {
        Break("is a second tick since the game asked for a paint, and no paint came", true);
    }
}

void CTimerRules::EndEvent(bool bPaintAsked) {
    if (bPaintAsked && m_kind != EV_DRAW)
        m_bPaintOwed = true;
}

void CTimerRules::OnSleep(uint32_t ms) {
    m_nSleptSinceRead += ms;
    m_nSleptSinceTick += ms;
}

int64_t CTimerRules::NextDue() const {
    return m_nDue + std::max<int64_t>(kTimerMs, static_cast<int64_t>(m_nSleptSinceTick));
}

int64_t CTimerRules::Behind(uint32_t dwValue) const {
    return static_cast<int64_t>(static_cast<uint32_t>(dwValue - m_dwBase)) - NextDue();
}

int64_t CTimerRules::LateAllowed() const {
    return kTimerLateMs +
           static_cast<int64_t>(m_stats.nTicks + 1) * kTimerMs * kTimerLatePercent / 100;
}

void CTimerRules::OnRead(uint32_t dwValue) {
    const bool bFirst = m_bFirstRead;
    m_bFirstRead = false;
    char text[160];
    if (m_bAnyRead && Since(m_dwLast, dwValue) < 0) {
        std::snprintf(text, sizeof text, "reads the counter back from %" PRIu32 " to %" PRIu32,
                      m_dwLast, dwValue);
        Break(text);
    } else if (m_bAnyRead && Since(m_dwLast, dwValue) < static_cast<int64_t>(m_nSleptSinceRead)) {
        std::snprintf(text, sizeof text,
                      "reads the counter %" PRId64 " ms on, after a pause of %" PRIu64 " ms",
                      Since(m_dwLast, dwValue), m_nSleptSinceRead);
        Break(text);
    }
    m_bAnyRead = true;
    m_dwLast = dwValue;
    m_nSleptSinceRead = 0;
    if (!m_bScheduled) {
        // The start is called from a tick of the menu: its first read stands for that tick.
        m_bScheduled = true;
        m_dwBase = dwValue;
        m_dwLastTick = dwValue;
        m_nSleptSinceTick = 0;
        return;
    }
    if (bFirst && m_kind == EV_TICK) {
        OnTick(dwValue);
    } else if (Behind(dwValue) > LateAllowed()) {
        // Nothing read between ticks may stand later than the next tick could.
        std::snprintf(text, sizeof text,
                      "reads the counter %" PRId64
                      " ms later than the ticks and the game's pauses explain",
                      Behind(dwValue));
        Break(text);
    }
}

void CTimerRules::OnTick(uint32_t dwValue) {
    const int64_t nBehind = Behind(dwValue);
    char text[160];
    if (nBehind > LateAllowed()) {
        std::snprintf(text, sizeof text,
                      "comes %" PRId64 " ms later than the timer and the game's pauses explain",
                      nBehind);
        Break(text);
    }
    m_nMostBehind = std::max(m_nMostBehind, nBehind);
    if (m_nMostBehind - nBehind > static_cast<int64_t>(kTimerEarlyMs)) {
        std::snprintf(text, sizeof text,
                      "comes %" PRId64 " ms before the %" PRIu32 " ms timer would have ticked",
                      m_nMostBehind - nBehind, kTimerMs);
        Break(text);
    }
    const uint32_t dwGap = dwValue - m_dwLastTick;
    if (m_nSleptSinceTick == 0) {
        const bool bFirstGap = m_stats.dwMaxGap == 0;
        m_stats.dwMinGap = bFirstGap ? dwGap : std::min(m_stats.dwMinGap, dwGap);
        m_stats.dwMaxGap = std::max(m_stats.dwMaxGap, dwGap);
    }
    m_nDue = NextDue();
    ++m_stats.nTicks;
    m_stats.nLateMs = nBehind;
    m_dwLastTick = dwValue;
    m_nSleptSinceTick = 0;
}

}  // namespace replay
