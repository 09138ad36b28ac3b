// Stage flow: announcements, stage start, lives and the end of a game.
#include <cstdio>
#include <string>

#include "game/SceenGame.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kClipGapMs = 1000;  // between two voice clips of one announcement
constexpr uint32_t kStageLeadInMs = 2000;
constexpr uint32_t kStageIntroMs = 8000;
constexpr uint32_t kTutorialIntroMs = 4000;
constexpr int kWideLazerStage = 5;
constexpr int kOneUpStage = 7;
constexpr int kBariaRecoveryStage = 8;

std::string Format(const char* fmt, int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, n);
    return buf;
}

// Stage voice, then the score, then the bonus that a cleared stage earns.
void AnnounceStage(CSceenGame& g, int nMode) {
    // Taken before the pauses: the intro ends 8 s after this moment.
    g.m_dwIntroEnd = plat::GetTickCount() + kStageIntroMs;
    plat::Sleep(kStageLeadInMs);
    g.m_strBanner = Format("STAGE %d ", g.m_nStage);
    plat::Sleep(kClipGapMs);
    if (g.m_nStage >= 1 && g.m_nStage <= kStageVoices)
        PlayAtOwnVolume(g.m_sound, g.m_idStage[g.m_nStage - 1]);
    plat::Sleep(kClipGapMs);
    if (g.m_nScore > 0) {
        PlayAtOwnVolume(g.m_sound, g.m_idScore);
        plat::Sleep(kClipGapMs);
        g.SpeakNumber(g.m_nScore / kScorePerUfo);
    }
    // Bonuses come only with a cleared stage, never with a restart.
    if (nMode != 1)
        return;
    if (g.m_nStage == kWideLazerStage) {
        g.m_laser.bWide = 1;
        g.m_strBonus = "Get Wide Lazer";
        plat::Sleep(kClipGapMs);
        PlayAtOwnVolume(g.m_sound, g.m_idGetWideLazer);
    } else if (g.m_nStage == kOneUpStage) {
        g.m_strBonus = "Player One Up";
        plat::Sleep(kClipGapMs);
        ++g.m_nLives;
        PlayAtOwnVolume(g.m_sound, g.m_idPlayerOneUp);
    } else if (g.m_nStage == kBariaRecoveryStage) {
        g.m_strBonus = "Baria Recovery";
        plat::Sleep(kClipGapMs);
        g.m_nBarrierCharges = kBarrierCharges;
        PlayAtOwnVolume(g.m_sound, g.m_idBariaRecovery);
    }
}

}  // namespace

void CSceenGame::StageTransition(int nMode) {
    Stop();
    if (nMode == 1 && m_nStage >= kLastStage) {
        // The last stage is cleared. m_dwAnnounceEnd stays 0, so the next
        // tick accepts the space key.
        StopAllSounds();
        m_strBanner = "Congratulations";
        m_nState = GS_ALLCLEAR;
        PlayAtOwnVolume(m_sound, m_idCongratulations);
        plat::Sleep(kClipGapMs);
        PlayAtOwnVolume(m_sound, m_idScore);
        plat::Sleep(kClipGapMs);
        SpeakNumber(m_nScore / kScorePerUfo);
        plat::Sleep(kClipGapMs);
        PlayAtOwnVolume(m_sound, m_idWinner);
        return;
    }
    if (nMode == 0 || nMode == 1) {
        ++m_nStage;
        m_nUfoQuota += kUfosPerStage;
        if (nMode == 1)
            PlayAtOwnVolume(m_sound, m_idClear);
    }
    if (m_nState == GS_TUTORIAL) {
        m_strBanner = "Tutorial";
        plat::Sleep(kClipGapMs);
        PlayAtOwnVolume(m_sound, m_idTutorial);
        m_nUfoQuota += kTutorialExtraUfos;
        m_dwIntroEnd = plat::GetTickCount() + kTutorialIntroMs;
    } else {
        AnnounceStage(*this, nMode);
    }
    m_nState = GS_INTRO;
    m_dwSpawnInterval = SpawnIntervalForStage(m_nStage);
    RequestRepaint();
}

void CSceenGame::StageStart() {
    m_strBanner.clear();
    m_strBonus.clear();
    Stop();
    m_arrTextLines.clear();
    m_nState = GS_PLAY;
    m_dwNextTutorialStep = plat::GetTickCount() + 2000;
    ResetFighter();

    // The first shot of a stage is ready at once; the width and the
    // registered sounds stay.
    m_laser.nFrame = m_laser.x = m_laser.y = m_laser.cx = m_laser.cy = 0;
    m_laser.nState = OS_ALIVE;
    m_laser.dwDuration = kLaserDurationMs;
    m_laser.dwFireTime = 0;

    m_barrier.nFrame = m_barrier.x = m_barrier.y = m_barrier.cx = m_barrier.cy = 0;
    m_barrier.nState = OS_ALIVE;
    m_barrier.dwDuration = kBarrierDurationMs;
    m_barrier.dwStartTime = 0;

    m_dwWaitEnd = 0;
    m_dwNextSpawn = 0;
    m_nUfoSpawned = 0;
    m_bAllSpawned = 0;

    if (m_nMode == 1) {
        // The tutorial brings its own UFOs.
        m_nState = GS_TUTORIAL;
        m_dwNextTutorialStep = plat::GetTickCount() + 1000;
        return;
    }
    if (m_nUfoQuota <= 0) {
        m_dwNextSpawn = 0;
        m_bAllSpawned = 1;
    } else {
        // Timed spawns begin only after this first UFO has gone.
        SpawnUfo();
    }
    RequestRepaint();
}

void CSceenGame::ResetFighter() {
    // The client size stays: it came with Attach.
    CFighter& f = m_fighter;
    f.nFrame = f.nImage = f.bLeftward = f.nState = f.nSoundCount = 0;
    f.nSpeed = 1;
    f.strBasePath = m_strBasePath;
    f.cx = m_imgFighter.GetWidth();
    f.cy = m_imgFighter.GetHeight();
    f.x = f.cxClient / 2 - f.cx / 2;
    f.y = f.cyClient - f.cy - kFighterBottomGap;
    f.idExplosion = f.AddSound("\\sound\\exprosion2");
    f.idWall = f.AddSound("\\sound\\kabe");
}

void CSceenGame::FighterLost() {
    if (m_nState == GS_TUTORIAL)
        return;  // the tutorial has no lives
    --m_nLives;
    m_nState = GS_LOST;
    if (m_nLives <= 0) {
        SetTextLines(Format("SCORE %d   GAME OVER", m_nScore), "", "");
        m_nState = GS_GAMEOVER;
    }
    m_dwWaitEnd = plat::GetTickCount() + kLostPauseMs;
}

void CSceenGame::AnnounceGameOver() {
    PlayAtOwnVolume(m_sound, m_idGameOver);
    plat::Sleep(kClipGapMs);
    if (m_nScore > 0)
        SpeakNumber(m_nScore / kScorePerUfo);
    plat::Sleep(kClipGapMs);
    PlayAtOwnVolume(m_sound, m_idYouLose, kPlayLooping);
    m_dwAnnounceEnd = plat::GetTickCount();
}
