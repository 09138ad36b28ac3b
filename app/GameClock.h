// The game's clock: the clock in front of it, less the time the game spent
// paused. While paused it stands still, so a pause is no part of the game's
// time and its recorded course is the same with or without it.
#pragma once
#include <cstdint>

#include "platform/clock.h"

class CGameClock : public plat::IClock {
public:
    explicit CGameClock(plat::IClock* pBase) : m_pBase(pBase) {}

    uint32_t Now() override { return (m_bPaused ? m_dwPausedAt : m_pBase->Now()) - m_dwLeftOut; }
    void Sleep(uint32_t ms) override { m_pBase->Sleep(ms); }

    void Pause() {
        if (!m_bPaused) {
            m_dwPausedAt = m_pBase->Now();
            m_bPaused = true;
        }
    }
    void Resume() {
        if (m_bPaused) {
            m_dwLeftOut += m_pBase->Now() - m_dwPausedAt;
            m_bPaused = false;
        }
    }
    bool Paused() const { return m_bPaused; }
    plat::IClock* Base() const { return m_pBase; }

private:
    plat::IClock* m_pBase;
    uint32_t m_dwLeftOut = 0;  // wraps as the counter does
    uint32_t m_dwPausedAt = 0;
    bool m_bPaused = false;
};
