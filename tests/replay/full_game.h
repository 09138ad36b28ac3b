// A whole ten-stage game played through the host by a scripted shooter and
// recorded as the program records it; shared by the tests and the benchmark.
#pragma once
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/DoruzorODlg.h"
#include "game/SceenGame.h"
#include "platform/fake_clock.h"
#include "platform/keys.h"
#include "platform/random.h"

namespace replaytest {

// Faces the lowest UFO (within nTolerance pixels) and fires when the laser
// is ready; raises the barrier when a missile comes close. press gets the
// keys: the arrows, the space key and Z.
inline void ScriptedShooter(const CSceenGame& g, int nTolerance,
                            const std::function<void(unsigned)>& press) {
    const CUfo* target = nullptr;
    for (const auto& u : g.m_arrUfos) {
        if (u->nState == OS_ALIVE && (!target || u->y > target->y))
            target = u.get();
    }
    if (!target)
        return;
    const int step = UfoStep(target->nSpeed);
    const int aim = target->Centre() + (target->bLeftward ? -step : step);
    for (int i = 0; i < 80 && std::abs(g.m_fighter.Centre() - aim) > nTolerance; ++i)
        press(g.m_fighter.Centre() < aim ? plat::VK_RIGHT : plat::VK_LEFT);
    press(plat::VK_SPACE);
    for (const auto& m : g.m_arrMissiles) {
        if (m->nState == OS_ALIVE && m->y > g.m_fighter.cyClient / 2)
            press('Z');
    }
}

// A key through the window moves the fighter three steps of 10 pixels.
constexpr int kHostKeyTolerance = 15;

class CScriptMenu : public CSceenMenu {
public:
    void Start(plat::CWnd*, const std::string&) override {}
    void Tick() override {}
    void Draw() override {}
};

// Plays a game on host (whose scenes the caller set up) until it closes;
// returns the replay the host kept. fnAfterTick sees the game after each tick.
inline std::string PlayScriptedGame(CDoruzorODlg& host, plat::CFakeClock& clock, unsigned seed,
                                    const std::function<void(const CSceenGame&)>& fnAfterTick) {
    plat::Srand(seed);
    host.OpenSceen(2, 1);
    const auto press = [&host](unsigned key) {
        host.DeliverKey(plat::WM_KEYDOWN, key);
        host.DeliverKey(plat::WM_KEYUP, key);
    };
    bool bLeft = false;
    for (int i = 0; i < 60000 && host.m_pGame; ++i) {
        const CSceenGame& g = *host.m_pGame;
        if (g.m_bKeysAccepted && !bLeft) {
            bLeft = true;
            press(plat::VK_SPACE);
        } else if (g.m_nState == GS_PLAY) {
            ScriptedShooter(g, kHostKeyTolerance, press);
        }
        clock.Advance(100);
        host.DeliverTimer(1);
        if (host.m_pGame && fnAfterTick)
            fnAfterTick(*host.m_pGame);
        host.DispatchPendingPaint();
    }
    return host.m_strLastReplay;
}

}  // namespace replaytest
