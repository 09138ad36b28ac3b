// The player's keys: moving the fighter, laser, barrier, leaving the game.
// The game keeps no key state: a held arrow moves as often as the system
// repeats it, and the laser and the barrier act when their key is released.
#include "game/SceenGame.h"
#include "platform/keys.h"

namespace {

constexpr unsigned kKeyZ = 'Z';

bool IsArrow(unsigned nKey) {
    return nKey == plat::VK_LEFT || nKey == plat::VK_RIGHT;
}

// The wall is heard from the side the fighter hit. The sound loads at its
// first play, and a pan set before that would be lost, so load it first:
// otherwise the first bump of a game would be heard from the middle.
void Bump(CFighter& f, long nPan) {
    if (f.idWall < 0 || f.idWall >= kSoundIds)
        return;
    if (!f.sound.m_pBuffer[f.idWall])
        f.sound.LoadSound(f.idWall);
    if (!f.sound.m_pBuffer[f.idWall])
        return;  // missing or unreadable: silent, and said only once
    f.sound.SetPan(f.idWall, nPan);
    PlayAtOwnVolume(f.sound, f.idWall);
}

}  // namespace

void CSceenGame::MoveFighter(unsigned nKey) {
    CFighter& f = m_fighter;
    const int nStep = kFighterStep * f.nSpeed;
    if (nKey == plat::VK_RIGHT) {
        // Touching the edge still allows one more step past it.
        if (f.x + f.cx <= f.cxClient) {
            f.x += nStep;
        } else {
            f.x = f.cxClient - f.cx - 1;
            Bump(f, kPanFull);
        }
    } else if (nKey == plat::VK_LEFT) {
        if (f.x > 0) {
            f.x -= nStep;
        } else {
            f.x = 1;
            Bump(f, -kPanFull);
        }
    }
}

void CSceenGame::PreTranslateKey(unsigned nKey) {
    // Seen on press and on release alike, before the window's own handling.
    if (m_nState == GS_PLAY && IsArrow(nKey))
        MoveFighter(nKey);
}

void CSceenGame::OnKeyDown(unsigned nKey) {
    if ((m_nState == GS_PLAY || m_nState == GS_TUTORIAL) && IsArrow(nKey))
        MoveFighter(nKey);
}

void CSceenGame::OnKeyUp(unsigned nKey) {
    RequestRepaint();
    if (m_nState == GS_PLAY || m_nState == GS_TUTORIAL) {
        if (nKey == plat::VK_SPACE) {
            // While the beam is on Space does nothing; FireLaser itself
            // clicks "not ready" while the laser recharges.
            if (!IsLaserOn())
                FireLaser(m_fighter.Centre(), m_fighter.cyClient - m_fighter.cy - kLaserFireGap);
        } else if (nKey == kKeyZ) {
            RaiseBarrier();
        } else if (nKey == plat::VK_ESCAPE) {
            m_nResult = 0;
        }
    } else if (nKey == plat::VK_ESCAPE) {
        m_nResult = 0;
    }
    if (nKey != plat::VK_SPACE || !m_bKeysAccepted)
        return;
    if (m_nState == GS_GAMEOVER)
        m_nResult = m_nScore != 0 ? 2 : 1;
    else if (m_nState == GS_ALLCLEAR)
        m_nResult = 2;
}
