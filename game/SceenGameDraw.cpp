// Drawing of the game scene. The picture only mirrors what is heard; it is
// rebuilt completely at every paint, straight into the window.
#include <mutex>

#include "game/SceenGame.h"
#include "platform/clock.h"
#include "platform/window.h"

namespace {

constexpr plat::COLORREF kBlack = plat::RGB(0, 0, 0);
constexpr plat::COLORREF kTextRed = plat::RGB(255, 0, 0);
constexpr plat::COLORREF kCaptionYellow = plat::RGB(255, 255, 0);
constexpr int kTextX = 10;
constexpr int kTextY = 10;
constexpr int kTextLineGap = 50;
constexpr int kCaptionX = 100;
constexpr int kBannerY = 200;
constexpr int kBonusY = 500;
// An explosion picture is drawn at nFrame fiftieths of its size.
constexpr int kExplosionScale = 50;

bool ShowsField(int nState) {
    return nState == GS_PLAY || nState == GS_LOST || nState == GS_GAMEOVER || nState == GS_TUTORIAL;
}

// Grows from the object's centre toward the lower right as nFrame counts up.
void DrawExplosion(plat::CDC& dc, const plat::CImage& img, const CGameObject& obj) {
    const int w = img.GetWidth();
    const int h = img.GetHeight();
    dc.TransparentBlt(obj.x + obj.cx / 2, obj.y + obj.cy / 2, obj.nFrame * w / kExplosionScale,
                      obj.nFrame * h / kExplosionScale, img, 0, 0, w, h, kBlack);
}

void DrawKeyed(plat::CDC& dc, const plat::CImage& img, int x, int y) {
    dc.TransparentBlt(x, y, img.GetWidth(), img.GetHeight(), img, 0, 0, img.GetWidth(),
                      img.GetHeight(), kBlack);
}

plat::RECT BoxOf(const CGameObject& obj) {
    return {obj.x, obj.y, obj.x + obj.cx, obj.y + obj.cy};
}

void DrawUfos(plat::CDC& dc, const CSceenGame& game) {
    for (const auto& pUfo : game.m_arrUfos) {
        const CUfo& ufo = *pUfo;
        if (ufo.nState == OS_EXPLODING) {
            DrawExplosion(dc, game.m_imgExplosion, ufo);
        } else if (ufo.nState == OS_ALIVE && ufo.nImage >= 0 && ufo.nImage < kUfoImages) {
            DrawKeyed(dc, game.m_imgUfo[ufo.nImage], ufo.x, ufo.y);
        }
    }
}

void DrawMissiles(plat::CDC& dc, const CSceenGame& game) {
    for (const auto& pMissile : game.m_arrMissiles) {
        const CMissile& missile = *pMissile;
        if (missile.nState == OS_EXPLODING) {
            DrawExplosion(dc, game.m_imgExplosion, missile);
        } else if (missile.nState == OS_ALIVE) {
            // The picture's corner stands at the centre of the missile's box.
            DrawKeyed(dc, game.m_imgMissile, missile.x + missile.cx / 2,
                      missile.y + missile.cy / 2);
        }
    }
}

void DrawFighter(plat::CDC& dc, const CSceenGame& game) {
    const CFighter& fighter = game.m_fighter;
    if (fighter.nState == OS_EXPLODING) {
        DrawExplosion(dc, game.m_imgExplosion, fighter);
    } else if (fighter.nState == OS_ALIVE) {
        const plat::CImage& img = game.m_imgFighter;
        dc.BitBlt(fighter.x, fighter.y, img.GetWidth(), img.GetHeight(), img, 0, 0);
    }
}

void DrawLaser(plat::CDC& dc, const CSceenGame& game) {
    if (game.m_laser.nState != OS_ALIVE) {
        dc.FillRect(BoxOf(game.m_laser), &game.m_brYellow);
    }
}

void DrawBarrier(plat::CDC& dc, const CSceenGame& game) {
    if (game.m_barrier.nState != OS_ALIVE) {
        dc.FillRect(BoxOf(game.m_barrier), &game.m_brPink);
    }
}

void DrawField(plat::CDC& dc, CSceenGame& game) {
    const std::lock_guard<CCriticalSection> lock(game.m_lock);
    DrawUfos(dc, game);
    DrawMissiles(dc, game);
    DrawFighter(dc, game);
    DrawLaser(dc, game);
    DrawBarrier(dc, game);
}

void DrawCaption(plat::CDC& dc, const plat::CFont* pFont, int y, const std::string& str) {
    if (str.empty()) {
        return;
    }
    dc.SelectObject(pFont);
    dc.SetBkColor(kBlack);
    dc.SetTextColor(kCaptionYellow);
    dc.TextOut(kCaptionX, y, str);
}

void DrawTexts(plat::CDC& dc, const CSceenGame& game) {
    if (!game.m_arrTextLines.empty()) {
        dc.SelectObject(game.m_pFontSmall.get());
        dc.SetBkColor(kBlack);
        dc.SetTextColor(kTextRed);
        for (size_t i = 0; i < game.m_arrTextLines.size(); ++i) {
            dc.TextOut(kTextX, kTextY + kTextLineGap * static_cast<int>(i), game.m_arrTextLines[i]);
        }
    }
    DrawCaption(dc, game.m_pFontLarge.get(), kBannerY, game.m_strBanner);
    DrawCaption(dc, game.m_pFontLarge.get(), kBonusY, game.m_strBonus);
}

}  // namespace

// The beam and the barrier end here, not in the tick, once their time is
// up; the laser first, as each is looked at before it would be drawn.
void CSceenGame::EndSpentEffects() {
    // Both are only switched on this thread: when both are off, there is
    // nothing to take the lock for.
    if (!ShowsField(m_nState) || (m_laser.nState == OS_ALIVE && m_barrier.nState == OS_ALIVE)) {
        return;
    }
    const std::lock_guard<CCriticalSection> lock(m_lock);
    CLaser& laser = m_laser;
    if (laser.nState != OS_ALIVE && plat::GetTickCount() - laser.dwFireTime >= laser.dwDuration) {
        laser.sound.Stop(laser.idLazer2);
        laser.sound.Stop(laser.idLazer1);
        laser.nState = OS_ALIVE;
    }
    CBarrier& barrier = m_barrier;
    if (barrier.nState != OS_ALIVE &&
        plat::GetTickCount() - barrier.dwStartTime >= barrier.dwDuration) {
        barrier.sound.Stop(barrier.idBaria);
        barrier.nState = OS_ALIVE;
    }
}

void CSceenGame::Draw() {
    if (!m_pHost) {
        return;
    }
    EndSpentEffects();
    Paint();
}

void CSceenGame::Paint() {
    if (!m_pHost) {
        return;
    }
    const plat::RECT rc = m_pHost->GetClientRect();
    const std::unique_ptr<plat::CDC> dc = m_pHost->GetDC();
    const plat::CBrush* pOldBrush = dc->SelectObject(&m_brBlack);
    dc->Rectangle(rc.left, rc.top, rc.right, rc.bottom);
    dc->SelectObject(m_pFontSmall.get());
    dc->SetBkColor(kBlack);
    if (ShowsField(m_nState)) {
        DrawField(*dc, *this);
    }
    DrawTexts(*dc, *this);
    dc->SelectObject(pOldBrush);
}
