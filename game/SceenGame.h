// The game scene: the normal game and the tutorial, with the small objects
// it is made of. Everything the player needs is heard: each object owns its
// own sound player and places its sounds relative to the fighter.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/BaseSceen.h"
#include "platform/gfx.h"
#include "sound/SoundPlay.h"

namespace plat {
class CWnd;
class CDC;
}  // namespace plat

// Game states (m_nState). The value 2 is not used.
constexpr int GS_NONE = 0;
constexpr int GS_PLAY = 1;
constexpr int GS_LOST = 3;
constexpr int GS_ALLCLEAR = 4;
constexpr int GS_GAMEOVER = 5;
constexpr int GS_TUTORIAL = 6;
constexpr int GS_INTRO = 7;

// Object states (nState).
constexpr int OS_ALIVE = 0;      // alive, or laser/barrier switched off
constexpr int OS_EXPLODING = 1;  // exploding, or laser/barrier switched on
constexpr int OS_FINISHED = 2;   // to be removed
constexpr int OS_ON = 1;         // laser or barrier switched on

// The rules' constants.
constexpr int kLastStage = 10;
constexpr int kUfosPerStage = 3;  // quota grows by this at each new stage
constexpr int kTutorialExtraUfos = 300;
constexpr int kUfoImages = 7;  // only slot 0 is loaded
constexpr int kUfoSpawnY = 80;
constexpr int kExplosionFrames = 20;  // removed when nFrame passes this
constexpr int kMissileFall = 10;      // pixels per tick
constexpr int kMissileBottomMargin = 100;
constexpr int kReleaseRange = 20;  // UFO centre within this of the fighter's, strictly
constexpr uint32_t kReleaseIntervalMs = 2000;
constexpr int kReleaseChancePerStage = 5;  // percent
constexpr int kFighterBottomGap = 10;
constexpr int kFighterStep = 10;  // times nSpeed, per key event
constexpr int kLaserTop = 50;
constexpr int kLaserWidth = 50;
constexpr int kLaserWideWidth = 200;
constexpr int kLaserFireGap = 20;  // beam bottom above the fighter's top, as Space fires it
constexpr uint32_t kLaserDurationMs = 500;
constexpr uint32_t kLaserRechargeMs = 2000;
constexpr int kBarrierHeight = 10;
constexpr uint32_t kBarrierDurationMs = 3000;
constexpr int kBarrierCharges = 3;
constexpr int kScorePerUfo = 10;
constexpr int kStartLives = 3;
constexpr uint32_t kLostPauseMs = 3000;
constexpr uint32_t kKeysAcceptDelayMs = 2000;
constexpr uint32_t kRemovalSpawnGapMs = 2000;
constexpr uint32_t kFirstSpawnIntervalMs = 8000;

// Sound placement units.
constexpr long kPanFull = 10000;
constexpr long kVolumeNearlySilent = -9600;
constexpr int kNumberVoices = 300;
constexpr int kStageVoices = 10;
constexpr int kTextVoices = 13;

// The four pictures, in the order Picture() gives them.
constexpr int kPictures = 4;
extern const char* const kPictureFiles[kPictures];

// Horizontal pixels a UFO of speed a moves per tick.
int UfoStep(int nSpeed);
// Milliseconds between timed spawns in a stage.
uint32_t SpawnIntervalForStage(int nStage);
// 0..n inclusive from the C runtime's generator (n only for its largest value).
int RandRange(int n);
// Rectangles touch when they overlap or share an edge or a corner.
bool RectsTouch(int l1, int t1, int r1, int b1, int l2, int t2, int r2, int b2);

// Sound placement rules, relative to a listener at listenerX.
long SoundPan(int x, int cx, int listenerX, int cxClient);
long UfoHumVolume(int x, int cx, int listenerX, int cxClient);
uint32_t UfoPitch(int y, int cyClient);
uint32_t MissilePitch(int y, int cyClient);

// The re-entrant lock that guards the UFO and missile lists.
class CCriticalSection {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    std::recursive_mutex m_mutex;
};

// What every thing on the field has in common. UFOs and missiles are heap
// objects; the fighter, laser and barrier are embedded in the scene.
struct CGameObject {
    CGameObject();
    ~CGameObject();  // stops every registered sound
    CGameObject(const CGameObject&) = delete;
    CGameObject& operator=(const CGameObject&) = delete;

    // Every integer field becomes 0, the client size included: Attach again.
    void Clear();
    void Attach(plat::CWnd* pHost, const std::string& strBase);
    // Registers base + name + ".kwv" under the next id and returns the id.
    int AddSound(const std::string& strName);
    bool HitTest(int left, int top, int right, int bottom) const;
    bool Touches(const CGameObject& other) const;
    void StopSounds();

    int Right() const { return x + cx; }
    int Bottom() const { return y + cy; }
    int Centre() const { return x + cx / 2; }

    int nFrame = 0;
    CSoundPlay sound;
    std::string strBasePath;
    int nImage = 0;
    int nSpeed = 0;
    int y = 0;
    int x = 0;
    int bLeftward = 0;
    int nState = 0;
    int nSoundCount = 0;
    int cxClient = 0;
    int cyClient = 0;
    plat::CWnd* pWnd = nullptr;
    int cx = 0;
    int cy = 0;
};

struct CFighter : CGameObject {
    int idExplosion = 0;
    int idWall = 0;
};

struct CLaser : CGameObject {
    uint32_t dwDuration = kLaserDurationMs;
    int idLazer1 = 0;
    int idLazer2 = 0;
    int idLazerNone = 0;
    int bWide = 0;
    uint32_t dwFireTime = 0;  // 0 = never fired
};

struct CUfo : CGameObject {
    int idHum = 0;
    int idExplosion = 0;
    uint32_t dwLastShot = 0;  // last missile attempt, 0 = never
};

struct CMissile : CGameObject {
    int idFlight = 0;
    int idExplosion = 0;
    int idPinch = 0;
};

struct CBarrier : CGameObject {
    uint32_t dwDuration = kBarrierDurationMs;
    int idBaria = 0;
    int idBariaNone = 0;
    uint32_t dwStartTime = 0;
};

class CSceenGame : public CBaseSceen {
public:
    CSceenGame();
    ~CSceenGame() override;

    // Virtual so that tests can stand in their own scenes for the host.
    virtual void Start(plat::CWnd* pHost, const std::string& strBasePath);
    virtual void Tick();
    virtual void Draw();
    virtual void OnKeyUp(unsigned nKey);
    virtual void OnKeyDown(unsigned nKey);
    virtual void PreTranslateKey(unsigned nKey);
    virtual void Stop();
    // Reads the four pictures below the base path; their sizes are the
    // objects' sizes. A re-run of a recorded game stands in pictures of the
    // recorded sizes here.
    virtual void LoadPictures();
    // The rule Draw keeps: the laser and the barrier end there once their
    // time is up. Draw runs it before it paints.
    void EndSpentEffects();
    // Draw's picture alone: keeps no rule and reads no clock, so it is no
    // part of the game's course (the host repaints a resumed game with it).
    void Paint();
    // The UFO, fighter, missile and explosion pictures (i in 0..3).
    plat::CImage& Picture(int i);

    // World.
    void SetTextLines(const std::string& a, const std::string& b, const std::string& c);
    int AddSound(const std::string& strName);
    void RequestRepaint();
    void RegisterSceneSounds();

    // Tick rules.
    void MoveUfo(CUfo& ufo);
    void SpawnUfo();
    // A spawn unless the stage's quota is used up (then no more come).
    void TrySpawn();
    void FireMissile(int ux, int uy);
    void MoveMissile(CMissile& missile);
    bool FireLaser(int nCentreX, int nBottomY);
    bool IsLaserOn();
    void RaiseBarrier();

    // Stage flow.
    void StageTransition(int nMode);
    void StageStart();
    void ResetFighter();
    void FighterLost();
    void AnnounceGameOver();

    // Audio cues.
    void UpdateUfoSound(CUfo& ufo, int nListenerX);
    void UpdateMissileSound(CMissile& missile, int nListenerX);
    void StopAllSounds();
    // The number voice for n (1 to 300) on the scene's player; others are silent.
    void SpeakNumber(int n);

    // Input.
    void MoveFighter(unsigned nKey);

    // Tutorial.
    void TutorialStep();

    CCriticalSection m_lock;
    int m_nResult = -1;
    int m_nStage = 0;
    CSoundPlay m_sound;
    plat::CWnd* m_pHost = nullptr;
    std::unique_ptr<plat::CFont> m_pFontSmall;
    std::unique_ptr<plat::CFont> m_pFontLarge;
    std::string m_strBasePath;
    plat::CImage m_imgUfo[kUfoImages];
    plat::CImage m_imgFighter;
    plat::CImage m_imgExplosion;
    plat::CImage m_imgMissile;
    std::vector<std::unique_ptr<CUfo>> m_arrUfos;
    CFighter m_fighter;
    CLaser m_laser;
    std::vector<std::unique_ptr<CMissile>> m_arrMissiles;
    CBarrier m_barrier;
    int m_nLives = kStartLives;
    int m_nSoundCount = 0;
    int m_idStage[kStageVoices] = {};
    int m_idTutorial = 0;
    int m_idGameOver = 0;
    int m_idYouLose = 0;
    int m_idWinner = 0;
    int m_idClear = 0;
    int m_idGetWideLazer = 0;
    int m_idPlayerOneUp = 0;
    int m_idBariaRecovery = 0;
    int m_idCongratulations = 0;
    int m_idScore = 0;
    int m_idText[kTextVoices] = {};
    int m_idNumber[kNumberVoices] = {};
    int m_nMode = 0;  // 1 tutorial, 2 normal game; set by the host before Start
    uint32_t m_dwNextTutorialStep = 0;
    int m_nUfoSpawned = 0;
    int m_nUfoQuota = 0;
    int m_nBarrierCharges = kBarrierCharges;
    std::vector<std::string> m_arrTextLines;
    std::string m_strBanner;
    std::string m_strBonus;
    bool m_bKeysAccepted = false;
    int m_nTutorialStep = 0;
    int m_nState = GS_NONE;
    uint32_t m_dwSpawnInterval = kFirstSpawnIntervalMs;
    uint32_t m_dwNextSpawn = 0;  // 0 = no timed spawn
    uint32_t m_dwIntroEnd = 0;
    uint32_t m_dwWaitEnd = 0;  // 0 = no pause running
    uint32_t m_dwAnnounceEnd = 0;
    int m_nScore = 0;
    int m_bAllSpawned = 0;
    plat::CBrush m_brBlack;
    plat::CBrush m_brWhite;
    plat::CBrush m_brBlue;
    plat::CBrush m_brRed;
    plat::CBrush m_brYellow;
    plat::CBrush m_brPink;

private:
    // Tick passes.
    void UfoPass(uint32_t dwNow);
    void MissilePass();
    void FighterExplosionStep();
    void ShootDownUfo(CUfo& ufo);
    void BlowUpMissile(CMissile& missile);
    void DestroyFighter();
    bool FighterCanBeHit() const;
    void TryRelease(CUfo& ufo);
};
