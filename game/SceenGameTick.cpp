// One tick of the game: UFOs sweep and descend and release missiles, the
// laser and the barrier stop them, and the fighter can be destroyed.
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "game/SceenGame.h"
#include "platform/clock.h"
#include "platform/random.h"

namespace {

std::string ScoreLine(int nScore) {
    char text[32];
    std::snprintf(text, sizeof text, "SCORE %d", nScore);
    return text;
}

// Counts an exploding object's frames; true once it is finished.
void ExplosionStep(CGameObject& obj) {
    ++obj.nFrame;
    if (obj.nFrame > kExplosionFrames)
        obj.nState = OS_FINISHED;
}

// True once the counter has passed the moment dwWhen. Compared by the
// difference: a moment set just before the counter wraps (49.7 days of
// uptime) would otherwise fall due at once, cutting a pause short or
// bringing a timed UFO on every tick.
bool Passed(uint32_t dwNow, uint32_t dwWhen) {
    return static_cast<int32_t>(dwNow - dwWhen) > 0;
}

}  // namespace

void CSceenGame::Tick() {
    const uint32_t now = plat::GetTickCount();
    // The game-over screen waits for its announcement; the all-clear screen
    // never sets the time, so it takes the key from the next tick on.
    const bool bEndScreen =
        m_nState == GS_ALLCLEAR || (m_nState == GS_GAMEOVER && m_dwAnnounceEnd != 0);
    if (bEndScreen && now - m_dwAnnounceEnd > kKeysAcceptDelayMs)
        m_bKeysAccepted = true;
    if (m_nState == GS_TUTORIAL)
        TutorialStep();

    switch (m_nState) {
        case GS_INTRO:
            if (Passed(now, m_dwIntroEnd))
                StageStart();
            return;
        case GS_LOST:
            if (Passed(now, m_dwWaitEnd))
                StageTransition(2);
            FighterExplosionStep();
            RequestRepaint();
            return;
        case GS_GAMEOVER:
            if (m_dwWaitEnd != 0 && Passed(now, m_dwWaitEnd)) {
                m_dwWaitEnd = 0;
                AnnounceGameOver();
            }
            FighterExplosionStep();
            RequestRepaint();
            return;
        default:
            break;
    }

    {
        std::lock_guard<CCriticalSection> guard(m_lock);
        UfoPass(now);
        if (m_dwNextSpawn != 0 && Passed(now, m_dwNextSpawn)) {
            m_dwNextSpawn = now + m_dwSpawnInterval;
            if (m_nState != GS_TUTORIAL)
                TrySpawn();
        }
        MissilePass();
        FighterExplosionStep();
        if (m_nState == GS_PLAY && m_bAllSpawned && m_arrUfos.empty())
            StageTransition(1);
    }
    RequestRepaint();
}

void CSceenGame::UfoPass(uint32_t dwNow) {
    for (size_t i = m_arrUfos.size(); i-- > 0;) {
        if (i >= m_arrUfos.size())
            continue;  // the list shrank under a called rule
        CUfo& ufo = *m_arrUfos[i];
        MoveUfo(ufo);
        if (ufo.nState == OS_FINISHED) {
            m_arrUfos.erase(m_arrUfos.begin() + static_cast<std::ptrdiff_t>(i));
            // While spawning, the next timed spawn lies ahead and the unsigned
            // difference is huge: a removal brings the next UFO at once.
            if (dwNow - m_dwNextSpawn > kRemovalSpawnGapMs) {
                m_dwNextSpawn = dwNow + m_dwSpawnInterval;
                if (m_nState != GS_TUTORIAL)
                    TrySpawn();
            }
            continue;
        }
        if (ufo.nState == OS_EXPLODING)
            continue;
        UpdateUfoSound(ufo, m_fighter.Centre());
        if (m_nState != GS_TUTORIAL) {
            if (IsLaserOn() && m_laser.Touches(ufo)) {
                ShootDownUfo(ufo);
                m_nScore += kScorePerUfo;
                SetTextLines(ScoreLine(m_nScore), "", "");
                SpeakNumber(m_nScore / kScorePerUfo);
            }
            TryRelease(ufo);
        }
        if (FighterCanBeHit() && m_fighter.Touches(ufo)) {
            DestroyFighter();
            ShootDownUfo(ufo);
            if (m_fighter.nFrame == 0)
                FighterLost();
        }
    }
}

void CSceenGame::MissilePass() {
    for (size_t i = m_arrMissiles.size(); i-- > 0;) {
        if (i >= m_arrMissiles.size())
            continue;
        CMissile& missile = *m_arrMissiles[i];
        MoveMissile(missile);
        if (missile.nState == OS_FINISHED) {
            m_arrMissiles.erase(m_arrMissiles.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (missile.nState == OS_EXPLODING)
            continue;
        if (IsLaserOn() && m_laser.Touches(missile))
            BlowUpMissile(missile);
        if (m_barrier.nState == OS_ON && m_barrier.Touches(missile))
            BlowUpMissile(missile);
        UpdateMissileSound(missile, m_fighter.Centre());
        if (FighterCanBeHit() && missile.Touches(m_fighter)) {
            DestroyFighter();
            missile.nState = OS_FINISHED;  // it vanishes without an explosion
            if (m_fighter.nFrame == 0)
                FighterLost();
        }
    }
}

void CSceenGame::FighterExplosionStep() {
    if (m_fighter.nState == OS_EXPLODING)
        ExplosionStep(m_fighter);
}

bool CSceenGame::FighterCanBeHit() const {
    // A second hit in the tick of the first still counts; a wreck that is
    // already exploding or gone (the tutorial keeps it) is not hit again.
    return m_fighter.nState == OS_ALIVE ||
           (m_fighter.nState == OS_EXPLODING && m_fighter.nFrame == 0);
}

void CSceenGame::ShootDownUfo(CUfo& ufo) {
    ufo.nState = OS_EXPLODING;
    ufo.sound.Stop(ufo.idHum);
    PlayAtOwnVolume(ufo.sound, ufo.idExplosion);
}

void CSceenGame::BlowUpMissile(CMissile& missile) {
    missile.nState = OS_EXPLODING;
    missile.sound.Stop(missile.idFlight);
    missile.sound.Stop(missile.idPinch);
    PlayAtOwnVolume(missile.sound, missile.idExplosion);
}

void CSceenGame::DestroyFighter() {
    StopAllSounds();
    m_fighter.nState = OS_EXPLODING;
    PlayAtOwnVolume(m_fighter.sound, m_fighter.idExplosion);
}

void CSceenGame::TryRelease(CUfo& ufo) {
    const int d = ufo.Centre() - m_fighter.Centre();
    if (d <= -kReleaseRange || d >= kReleaseRange)
        return;
    const uint32_t t = plat::GetTickCount();
    if (ufo.dwLastShot != 0 && t - ufo.dwLastShot <= kReleaseIntervalMs)
        return;
    ufo.dwLastShot = t;  // the attempt is used up whether or not a missile leaves
    if (RandRange(100) < kReleaseChancePerStage * m_nStage)
        FireMissile(ufo.x, ufo.y);
}

void CSceenGame::TrySpawn() {
    if (m_bAllSpawned)
        return;
    if (m_nUfoSpawned >= m_nUfoQuota) {
        m_dwNextSpawn = 0;
        m_bAllSpawned = 1;
        return;
    }
    SpawnUfo();
}

void CSceenGame::MoveUfo(CUfo& ufo) {
    if (ufo.nState == OS_EXPLODING) {
        ExplosionStep(ufo);
        return;
    }
    const int step = UfoStep(ufo.nSpeed);
    if (!ufo.bLeftward) {
        ufo.x += step;
        if (ufo.x + ufo.cx >= ufo.cxClient) {
            ufo.bLeftward = 1;
            ufo.y += 2 * ufo.cy;
        }
    } else {
        ufo.x -= step;
        if (ufo.x < 0) {
            ufo.bLeftward = 0;
            ufo.y += 2 * ufo.cy;
        }
    }
    ufo.nFrame = 0;
}

void CSceenGame::SpawnUfo() {
    auto ufo = std::make_unique<CUfo>();
    ufo->Clear();
    ufo->nSpeed = m_nStage;
    ufo->y = kUfoSpawnY;
    ufo->x = 1;
    ufo->bLeftward = 0;
    ufo->cx = m_imgUfo[ufo->nImage].GetWidth();
    ufo->cy = m_imgUfo[ufo->nImage].GetHeight();
    ufo->Attach(m_pHost, m_strBasePath);
    // Stage 1 (and so the tutorial) draws no number: every UFO enters left.
    if (m_nStage > 1) {
        const int r = plat::Rand();
        if (static_cast<int>(r * 10.0 / 32767.0) > 5) {
            ufo->x = ufo->cxClient - ufo->cx;
            ufo->bLeftward = 1;
        }
    }
    ufo->idHum = ufo->AddSound("\\sound\\ufo1");
    ufo->idExplosion = ufo->AddSound("\\sound\\exprosion");
    ufo->sound.Play(ufo->idHum, kPlayLooping);
    UpdateUfoSound(*ufo, m_fighter.Centre());
    std::lock_guard<CCriticalSection> guard(m_lock);
    m_arrUfos.push_back(std::move(ufo));
    ++m_nUfoSpawned;
}

void CSceenGame::FireMissile(int ux, int uy) {
    auto missile = std::make_unique<CMissile>();
    missile->Clear();
    missile->y = uy;
    missile->x = ux;
    missile->nSpeed = 1;
    missile->cx = m_imgMissile.GetWidth();
    missile->cy = m_imgMissile.GetHeight();
    missile->Attach(m_pHost, m_strBasePath);
    missile->idExplosion = missile->AddSound("\\sound\\exprosion");
    missile->idFlight = missile->AddSound("\\sound\\misile");
    missile->sound.Play(missile->idFlight, kPlayLooping);
    missile->idPinch = missile->AddSound("\\sound\\pinch");
    missile->sound.Play(missile->idPinch, kPlayLooping);
    missile->sound.SetVolume(missile->idPinch, 0);
    UpdateMissileSound(*missile, m_fighter.Centre());
    // Its centre stands on the UFO's left edge.
    missile->x = ux - missile->cx / 2;
    missile->y = uy;
    std::lock_guard<CCriticalSection> guard(m_lock);
    m_arrMissiles.push_back(std::move(missile));
}

void CSceenGame::MoveMissile(CMissile& missile) {
    if (missile.nState == OS_EXPLODING) {
        ExplosionStep(missile);
        return;
    }
    if (missile.nState == OS_FINISHED)
        return;
    missile.y += kMissileFall;
    missile.sound.SetFrequency(missile.idFlight, MissilePitch(missile.y, missile.cyClient));
    if (missile.y > missile.cyClient - kMissileBottomMargin) {
        missile.sound.Stop(missile.idFlight);
        missile.sound.Stop(missile.idPinch);
        missile.nState = OS_FINISHED;
        missile.sound.Stop(missile.idExplosion);
    }
}

bool CSceenGame::FireLaser(int nCentreX, int nBottomY) {
    if (m_laser.nState != OS_ALIVE)
        return false;
    const uint32_t t = plat::GetTickCount();
    // Never fired (0) is ready at once, whatever the clock shows.
    if (m_laser.dwFireTime != 0 && t - m_laser.dwFireTime < kLaserRechargeMs) {
        PlayAtOwnVolume(m_laser.sound, m_laser.idLazerNone);
        return false;
    }
    m_laser.cx = m_laser.bWide ? kLaserWideWidth : kLaserWidth;
    m_laser.dwFireTime = t;
    m_laser.x = nCentreX - m_laser.cx / 2;
    m_laser.y = kLaserTop;
    m_laser.cy = nBottomY - kLaserTop;
    m_laser.nState = OS_ON;
    PlayAtOwnVolume(m_laser.sound, m_laser.bWide ? m_laser.idLazer2 : m_laser.idLazer1,
                    kPlayLooping);
    return true;
}

bool CSceenGame::IsLaserOn() {
    if (m_laser.nState == OS_ALIVE)
        return false;
    if (plat::GetTickCount() - m_laser.dwFireTime < m_laser.dwDuration)
        return true;
    m_laser.sound.Stop(m_laser.idLazer2);
    m_laser.sound.Stop(m_laser.idLazer1);
    m_laser.nState = OS_ALIVE;
    return false;
}

void CSceenGame::RaiseBarrier() {
    if (m_nBarrierCharges <= 0) {
        PlayAtOwnVolume(m_barrier.sound, m_barrier.idBariaNone);
        return;
    }
    const uint32_t now = plat::GetTickCount();
    if (m_barrier.nState != OS_ALIVE) {
        if (now - m_barrier.dwStartTime < m_barrier.dwDuration)
            return;  // still up: no charge is used
        m_barrier.sound.Stop(m_barrier.idBaria);
        m_barrier.nState = OS_ALIVE;
    }
    m_barrier.dwStartTime = now;
    m_barrier.y = m_barrier.cyClient * 3 / 4;
    m_barrier.x = 0;
    m_barrier.cx = 2 * m_barrier.cxClient;
    m_barrier.cy = kBarrierHeight;
    m_barrier.nState = OS_ON;
    PlayAtOwnVolume(m_barrier.sound, m_barrier.idBaria, kPlayLooping);
    --m_nBarrierCharges;
}
