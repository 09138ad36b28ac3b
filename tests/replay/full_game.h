// A whole ten-stage game played through the host by a scripted shooter and
// recorded as the program records it; shared by the tests and the benchmark.
#pragma once
#include <algorithm>
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
constexpr int kHostKeyStep = 30;

// Keeps the fighter where nothing will touch it at the next tick and, where
// it can, where no UFO will stand close enough above it to release a
// missile: it never shoots. The UFOs sweep on below the field, never removed.
inline void Dodge(const CSceenGame& g, const std::function<void(unsigned)>& press) {
    const CFighter& f = g.m_fighter;
    // 0: nothing touches it; 1: and no UFO can release a missile above it.
    const auto safety = [&g, &f](int x) {
        const int centre = x + f.cx / 2;
        int nSafety = 1;
        for (const auto& u : g.m_arrUfos) {
            if (u->nState != OS_ALIVE)
                continue;
            // Where it stands after its next move, as MoveUfo moves it.
            const int step = UfoStep(u->nSpeed);
            const int ux = u->x + (u->bLeftward ? -step : step);
            const bool bTurns = u->bLeftward ? ux < 0 : ux + u->cx >= u->cxClient;
            const int uy = u->y + (bTurns ? 2 * u->cy : 0);
            if (RectsTouch(x, f.y, x + f.cx, f.Bottom(), ux, uy, ux + u->cx, uy + u->cy))
                return -1;
            if (std::abs(ux + u->cx / 2 - centre) < kReleaseRange + 2)
                nSafety = 0;
        }
        for (const auto& m : g.m_arrMissiles) {
            if (m->nState != OS_FINISHED && RectsTouch(x, f.y, x + f.cx, f.Bottom(), m->x, m->y,
                                                       m->Right(), m->Bottom() + 2 * kMissileFall))
                return -1;
        }
        return nSafety;
    };
    const int nSteps = (f.cxClient - f.cx - 20) / kHostKeyStep;
    for (const int nWanted : {1, 0}) {
        for (int k = 0; k <= nSteps; ++k) {
            for (const int dir : {1, -1}) {
                const int x = f.x + dir * k * kHostKeyStep;
                if (x < 10 || x + f.cx > f.cxClient - 10 || safety(x) < nWanted)
                    continue;
                for (int i = 0; i < k; ++i)
                    press(dir > 0 ? plat::VK_RIGHT : plat::VK_LEFT);
                return;
            }
        }
    }
}

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

namespace replaytest {

// A game shot through to the last stage, whose player then shoots the
// stage's first UFO (so that the rest come on their timer) and only dodges
// from there: the UFOs sweep on below the field, never removed, for the rest
// of nEvents recorded events, and Escape ends it. The costliest game a
// replay of nEvents can hold: the most objects moved at every tick.
// pMostUfos gets the most UFOs that flew at once.
inline std::string PlayCrowdedGame(CDoruzorODlg& host, plat::CFakeClock& clock, unsigned seed,
                                   uint64_t nEvents, size_t* pMostUfos = nullptr) {
    plat::Srand(seed);
    host.OpenSceen(2, 1);
    uint64_t nCount = 1;
    const auto press = [&host, &nCount](unsigned key) {
        host.DeliverKey(plat::WM_KEYDOWN, key);
        host.DeliverKey(plat::WM_KEYUP, key);
        nCount += 4;  // two pre-translations, the key down and the key up
    };
    size_t nMost = 0;
    bool bEnding = false;
    for (int i = 0; i < 1000000 && host.m_pGame; ++i) {
        const CSceenGame& g = *host.m_pGame;
        nMost = std::max(nMost, g.m_arrUfos.size());
        const bool bLast = g.m_nStage == kLastStage && g.m_nUfoSpawned >= 2;
        if (bEnding || nCount + 200 > nEvents) {
            if (!bEnding)
                press(plat::VK_ESCAPE);
            bEnding = true;
        } else if (g.m_nState == GS_PLAY && bLast) {
            Dodge(g, press);
        } else if (g.m_nState == GS_PLAY) {
            ScriptedShooter(g, kHostKeyTolerance, press);
        } else if (g.m_bKeysAccepted) {
            press(plat::VK_SPACE);  // the game was lost before it got there
        }
        clock.Advance(100);
        host.DeliverTimer(1);
        host.DispatchPendingPaint();
        nCount += 2;
    }
    if (pMostUfos)
        *pMostUfos = nMost;
    return host.m_strLastReplay;
}

}  // namespace replaytest
