// Plays a recorded game in the window, with its sounds, at the speed it was
// played: each recorded call is made when the counter reaches the first
// value it read. Escape or the close box leaves.
#pragma once
#include <chrono>
#include <memory>
#include <string>

#include "app/SoundControls.h"
#include "game/SceenGame.h"
#include "platform/window.h"
#include "replay/ReplayClock.h"
#include "replay/ReplayCodec.h"

class CReplayDlg : public plat::CDialog {
public:
    // bytes: a replay that ran in step against the pictures below strBasePath.
    CReplayDlg(std::string bytes, std::string strBasePath);
    ~CReplayDlg() override;

    bool OnInitDialog() override;
    bool DestroyWindow() override;
    void OnTimer(unsigned id) override;
    void OnOK() override {}  // Enter does nothing; Escape leaves
    // The volume keys act here too, as in the game.
    bool PreTranslateMessage(const plat::MSG& msg) override;
    bool OnHeldKey(const plat::MSG& msg) override;

    // True once every recorded call was made.
    bool Finished() const { return m_bFinished; }
    // Makes every call that is due by now (tests call it with their own time).
    void DeliverDue(std::chrono::steady_clock::time_point now);

private:
    bool TakeNext();
    void DeliverPending();

    std::string m_strBytes;
    std::string m_strBasePath;
    CSoundControls m_sound{this, m_strBasePath};
    replay::CReplayReader m_reader;
    std::unique_ptr<replay::CReplayClock> m_pClock;
    std::unique_ptr<replay::CClockSwap> m_pSwap;
    std::unique_ptr<CSceenGame> m_pGame;
    std::chrono::steady_clock::time_point m_tStart;
    uint32_t m_dwFirst = 0;
    // The next event, taken from the reader but not yet made.
    replay::EEvent m_kind = replay::EV_END;
    unsigned m_nKey = 0;
    bool m_bTimed = false;
    uint32_t m_dwDue = 0;
    bool m_bFinished = false;
};
