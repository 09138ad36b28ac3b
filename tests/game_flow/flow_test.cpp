// The stage flow and the player's keys, through whole seeded games on a
// fake clock with the offline mixer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "app/DoruzorODlg.h"
#include "full_game.h"
#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/window.h"
#include "sound/SoundVolume.h"
#include "wave_builder.h"

namespace {

constexpr int kFieldCx = 732;
constexpr int kFieldCy = 570;

class CFieldWnd : public plat::CWnd {
public:
    CFieldWnd() : CWnd(kFieldCx, kFieldCy) {}
};

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        for (auto& v : g_soundVolume.m_nCurrent)
            v = 0;
        plat::Srand(1234);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strBase = ::testing::TempDir() + "doruzoro_flow_" + info->name();
        std::filesystem::remove_all(m_strBase);
        WritePicture("/image/UFO.kpg", 40, 20);
        WritePicture("/image/Fighter.kpg", 40, 30);
        WritePicture("/image/misile.kpg", 10, 20);
        WritePicture("/image/Explosion.kpg", 50, 50);
        WriteTone("/sound/kabe.kwv");
        WriteTone("/sound/voice/GameOver.kwv");
    }
    void TearDown() override {
        m_pGame.reset();
        plat::SetMessageBoxHandler({});
        std::filesystem::remove_all(m_strBase);
    }

    void WritePicture(const std::string& rel, int cx, int cy) {
        const std::string path = m_strBase + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(plat::CSurface(cx, cy).WritePng(path));
    }
    void WriteTone(const std::string& rel) {
        const std::string path = m_strBase + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << wavetest::ToneFile(440, 22050, 2205);
    }

    void StartGame(int nMode = 2, const std::string& strBase = "") {
        m_pGame = std::make_unique<CSceenGame>();
        m_pGame->m_nMode = nMode;
        m_pGame->Start(&m_wnd, strBase.empty() ? m_strBase : strBase);
    }
    void TickOnce() {
        m_clock.Advance(100);
        m_pGame->Tick();
    }
    // Ticks until the state is reached; false after nMax ticks.
    bool TickUntilState(int nState, int nMax) {
        for (int i = 0; i < nMax && m_pGame->m_nState != nState; ++i)
            TickOnce();
        return m_pGame->m_nState == nState;
    }
    void Release(unsigned key) { m_pGame->OnKeyUp(key); }
    CFighter& Fighter() { return m_pGame->m_fighter; }

    plat::CFakeClock m_clock;
    plat::CClockGuard m_guard{m_clock};
    CFieldWnd m_wnd;
    std::string m_strBase;
    std::unique_ptr<CSceenGame> m_pGame;
};

TEST_F(FlowTest, GameStartsWithTheStageOneAnnouncementAndItsPauses) {
    StartGame();
    EXPECT_EQ(m_pGame->m_nStage, 1);
    EXPECT_EQ(m_pGame->m_nUfoQuota, 3);
    EXPECT_EQ(m_pGame->m_nState, GS_INTRO);
    EXPECT_EQ(m_pGame->m_strBanner, "STAGE 1 ");
    EXPECT_TRUE(m_pGame->m_arrUfos.empty());
    EXPECT_EQ(m_clock.Slept(), 4000u);  // no score yet, no bonus
    // The intro ends 8 s after it began, 4 s after the announcement.
    EXPECT_TRUE(TickUntilState(GS_PLAY, 45));
    EXPECT_EQ(m_pGame->m_arrUfos.size(), 1u);
    EXPECT_EQ(Fighter().x, kFieldCx / 2 - 20);
    EXPECT_EQ(Fighter().y, kFieldCy - 30 - 10);
    EXPECT_TRUE(m_pGame->m_strBanner.empty());
}

TEST_F(FlowTest, TutorialOpensWithItsShortAnnouncement) {
    StartGame(1);
    EXPECT_EQ(m_pGame->m_nUfoQuota, 303);
    EXPECT_EQ(m_pGame->m_strBanner, "Tutorial");
    EXPECT_EQ(m_clock.Slept(), 1000u);
    EXPECT_TRUE(TickUntilState(GS_TUTORIAL, 45));
}

TEST_F(FlowTest, BonusesComeWithClearedStagesOnlyAndStay) {
    StartGame();
    CSceenGame& g = *m_pGame;
    g.m_nStage = 4;
    g.m_nUfoQuota = 12;
    g.m_nScore = 120;
    const uint32_t before = m_clock.Slept();
    g.StageTransition(1);
    EXPECT_EQ(g.m_nStage, 5);
    EXPECT_EQ(g.m_nUfoQuota, 15);
    EXPECT_EQ(g.m_laser.bWide, 1);
    EXPECT_EQ(g.m_strBonus, "Get Wide Lazer");
    EXPECT_EQ(g.m_dwSpawnInterval, 5000u);
    EXPECT_EQ(m_clock.Slept() - before, 6000u);  // 4 s, score 1 s, bonus 1 s

    // Losing a fighter replays stage 5 without the bonus; the beam stays wide.
    g.StageStart();
    g.m_laser.bWide = 1;
    g.FighterLost();
    EXPECT_EQ(g.m_nState, GS_LOST);
    g.StageTransition(2);
    EXPECT_EQ(g.m_nStage, 5);
    EXPECT_EQ(g.m_nUfoQuota, 15);
    EXPECT_TRUE(g.m_strBonus.empty());
    EXPECT_EQ(g.m_laser.bWide, 1);
    EXPECT_EQ(g.m_strBanner, "STAGE 5 ");

    g.m_nStage = 6;
    const int lives = g.m_nLives;
    g.StageTransition(1);
    EXPECT_EQ(g.m_nLives, lives + 1);
    EXPECT_EQ(g.m_strBonus, "Player One Up");
    g.StageStart();
    g.m_nBarrierCharges = 0;
    g.StageTransition(1);
    EXPECT_EQ(g.m_nStage, 8);
    EXPECT_EQ(g.m_nBarrierCharges, 3);
    EXPECT_EQ(g.m_strBonus, "Baria Recovery");
    EXPECT_EQ(g.m_dwSpawnInterval, 2000u);
    g.StageStart();
    g.StageTransition(1);
    EXPECT_EQ(g.m_dwSpawnInterval, 1000u);
    g.StageStart();
    g.StageTransition(1);
    EXPECT_EQ(g.m_nStage, 10);
    EXPECT_EQ(g.m_dwSpawnInterval, 1000u);
    EXPECT_EQ(g.m_nLives, lives + 1);  // restarts and later stages give nothing more
}

TEST_F(FlowTest, ClearingStageTenEndsWithCongratulationsAndResultTwo) {
    StartGame();
    CSceenGame& g = *m_pGame;
    ASSERT_TRUE(TickUntilState(GS_PLAY, 45));
    g.m_nStage = 10;
    g.m_nScore = 1650;
    const uint32_t before = m_clock.Slept();
    g.StageTransition(1);
    EXPECT_EQ(g.m_nState, GS_ALLCLEAR);
    EXPECT_EQ(g.m_strBanner, "Congratulations");
    EXPECT_EQ(g.m_nStage, 10);
    EXPECT_EQ(m_clock.Slept() - before, 3000u);
    EXPECT_TRUE(g.m_arrUfos.empty());
    Release(plat::VK_SPACE);  // not yet accepted
    EXPECT_EQ(g.m_nResult, -1);
    TickOnce();
    EXPECT_TRUE(g.m_bKeysAccepted);
    Release('Z');
    Release(plat::VK_LEFT);
    EXPECT_EQ(g.m_nResult, -1);
    Release(plat::VK_SPACE);
    EXPECT_EQ(g.m_nResult, 2);
}

// A player who never moves and never shoots: every UFO reaches the fighter.
TEST_F(FlowTest, IdlePlayerLosesThreeFightersAndEndsWithResultOne) {
    StartGame();
    CSceenGame& g = *m_pGame;
    int nLosses = 0;
    for (int i = 0; i < 20000 && g.m_nState != GS_GAMEOVER; ++i) {
        const int before = g.m_nState;
        TickOnce();
        if (before == GS_PLAY && g.m_nState == GS_LOST)
            ++nLosses;
        if (g.m_nState == GS_LOST) {
            EXPECT_EQ(g.m_nStage, 1);
        }
    }
    ASSERT_EQ(g.m_nState, GS_GAMEOVER);
    EXPECT_EQ(nLosses, 2);
    EXPECT_LE(g.m_nLives, 0);
    EXPECT_EQ(g.m_nScore, 0);
    EXPECT_EQ(g.m_nStage, 1);
    ASSERT_EQ(g.m_arrTextLines.size(), 1u);
    EXPECT_EQ(g.m_arrTextLines[0], "SCORE 0   GAME OVER");

    // The announcement comes 3 s later; Space is taken 2 s after it.
    const uint32_t lostAt = m_clock.Now();
    while (g.m_dwAnnounceEnd == 0 && m_clock.Now() - lostAt < 10000)
        TickOnce();
    EXPECT_GE(g.m_dwAnnounceEnd - lostAt, 3000u);
    EXPECT_LE(g.m_dwAnnounceEnd - lostAt, 3100u + 2000u);
    Release(plat::VK_SPACE);
    EXPECT_EQ(g.m_nResult, -1);
    for (int i = 0; i < 30 && !g.m_bKeysAccepted; ++i)
        TickOnce();
    ASSERT_TRUE(g.m_bKeysAccepted);
    EXPECT_GE(m_clock.Now() - g.m_dwAnnounceEnd, 2000u);
    Release(plat::VK_SPACE);
    EXPECT_EQ(g.m_nResult, 1);
}

TEST_F(FlowTest, LastFighterWithPointsAsksForRegistrationAndEscapeDoesNot) {
    StartGame();
    CSceenGame& g = *m_pGame;
    ASSERT_TRUE(TickUntilState(GS_PLAY, 45));
    g.m_nScore = 40;
    g.m_nLives = 1;
    g.FighterLost();
    EXPECT_EQ(g.m_nState, GS_GAMEOVER);
    EXPECT_EQ(g.m_arrTextLines[0], "SCORE 40   GAME OVER");
    for (int i = 0; i < 80 && !g.m_bKeysAccepted; ++i)
        TickOnce();
    ASSERT_TRUE(g.m_bKeysAccepted);
    Release(plat::VK_SPACE);
    EXPECT_EQ(g.m_nResult, 2);
    g.m_nResult = -1;
    Release(plat::VK_ESCAPE);
    EXPECT_EQ(g.m_nResult, 0);
}

TEST_F(FlowTest, ArrowsMoveOnlyWhileAStageOrTheTutorialIsPlayed) {
    StartGame();
    CSceenGame& g = *m_pGame;
    const int x0 = Fighter().x;
    g.PreTranslateKey(plat::VK_RIGHT);
    g.OnKeyDown(plat::VK_RIGHT);
    EXPECT_EQ(Fighter().x, x0);  // the intro ignores them
    ASSERT_TRUE(TickUntilState(GS_PLAY, 45));
    const int x1 = Fighter().x;
    // One press and release: twice through pre-translation, once key-down.
    g.PreTranslateKey(plat::VK_RIGHT);
    g.OnKeyDown(plat::VK_RIGHT);
    g.PreTranslateKey(plat::VK_RIGHT);
    g.OnKeyUp(plat::VK_RIGHT);
    EXPECT_EQ(Fighter().x, x1 + 30);
    g.PreTranslateKey(plat::VK_LEFT);
    EXPECT_EQ(Fighter().x, x1 + 20);
    g.PreTranslateKey(plat::VK_UP);
    g.PreTranslateKey(plat::VK_SPACE);
    EXPECT_EQ(Fighter().x, x1 + 20);

    g.m_nState = GS_TUTORIAL;
    g.PreTranslateKey(plat::VK_RIGHT);
    EXPECT_EQ(Fighter().x, x1 + 20);
    g.OnKeyDown(plat::VK_RIGHT);
    EXPECT_EQ(Fighter().x, x1 + 30);
    for (int s : {GS_LOST, GS_GAMEOVER, GS_ALLCLEAR, GS_INTRO}) {
        g.m_nState = s;
        g.PreTranslateKey(plat::VK_LEFT);
        g.OnKeyDown(plat::VK_LEFT);
        EXPECT_EQ(Fighter().x, x1 + 30) << s;
    }
}

TEST_F(FlowTest, WallBumpIsHeardFromTheSideThatWasHit) {
    StartGame();
    CSceenGame& g = *m_pGame;
    ASSERT_TRUE(TickUntilState(GS_PLAY, 45));
    CFighter& f = Fighter();
    f.x = kFieldCx - f.cx;  // touching the right edge still steps past it
    g.OnKeyDown(plat::VK_RIGHT);
    EXPECT_EQ(f.x, kFieldCx - f.cx + 10);
    EXPECT_FALSE(f.sound.m_pBuffer[f.idWall]);
    g.OnKeyDown(plat::VK_RIGHT);
    EXPECT_EQ(f.x, kFieldCx - f.cx - 1);
    ASSERT_TRUE(f.sound.m_pBuffer[f.idWall]);
    EXPECT_TRUE(f.sound.m_pBuffer[f.idWall]->GetStatus() & plat::kAudioPlaying);

    // The very first bump already comes from the right: more on the right.
    std::vector<float> out(2 * 2048);
    g_pDirectSound[1]->Render(out.data(), 2048);
    double left = 0, right = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
        left += out[i] * out[i];
        right += out[i + 1] * out[i + 1];
    }
    EXPECT_GT(right, 10 * left + 1e-9);

    f.x = 5;
    g.OnKeyDown(plat::VK_LEFT);
    EXPECT_EQ(f.x, -5);
    g.OnKeyDown(plat::VK_LEFT);
    EXPECT_EQ(f.x, 1);
    f.x = 0;
    g.OnKeyDown(plat::VK_LEFT);
    EXPECT_EQ(f.x, 1);
}

TEST_F(FlowTest, SpaceAndZActOnReleaseDuringPlay) {
    StartGame();
    CSceenGame& g = *m_pGame;
    ASSERT_TRUE(TickUntilState(GS_PLAY, 45));
    g.OnKeyDown(plat::VK_SPACE);
    g.OnKeyDown('Z');
    EXPECT_EQ(g.m_laser.nState, 0);
    EXPECT_EQ(g.m_barrier.nState, 0);
    Release(plat::VK_SPACE);
    EXPECT_EQ(g.m_laser.nState, 1);
    EXPECT_EQ(g.m_laser.x, Fighter().Centre() - 25);
    EXPECT_EQ(g.m_laser.cy, Fighter().cyClient - Fighter().cy - 20 - 50);
    const uint32_t fired = g.m_laser.dwFireTime;
    Release(plat::VK_SPACE);  // the beam is still on
    EXPECT_EQ(g.m_laser.dwFireTime, fired);
    Release('Z');
    EXPECT_EQ(g.m_barrier.nState, 1);
    EXPECT_EQ(g.m_nBarrierCharges, 2);
    EXPECT_EQ(g.m_nResult, -1);
    Release(plat::VK_ESCAPE);
    EXPECT_EQ(g.m_nResult, 0);
}

TEST_F(FlowTest, EscapeLeavesFromEveryStateAndOtherKeysDoNothingThere) {
    StartGame();
    CSceenGame& g = *m_pGame;
    for (int s : {GS_NONE, GS_INTRO, GS_LOST, GS_GAMEOVER, GS_ALLCLEAR, GS_TUTORIAL, GS_PLAY}) {
        g.m_nState = s;
        g.m_nResult = -1;
        Release('Z');
        Release(plat::VK_LEFT);
        if (s != GS_PLAY && s != GS_TUTORIAL) {
            Release(plat::VK_SPACE);
            EXPECT_EQ(g.m_laser.nState, 0) << s;
            EXPECT_EQ(g.m_nBarrierCharges, 3) << s;
        }
        EXPECT_EQ(g.m_nResult, -1) << s;
        Release(plat::VK_ESCAPE);
        EXPECT_EQ(g.m_nResult, 0) << s;
    }
}

TEST_F(FlowTest, GameOverIsSpokenAtFullVolumeWhateverAMissileLeftForItsId) {
    StartGame();
    CSceenGame& g = *m_pGame;
    // A missile in its warning phase leaves its flight sound's id nearly silent.
    g_soundVolume.m_nCurrent[g.m_idGameOver] = -9600;
    g.AnnounceGameOver();
    std::vector<float> out(2 * 2048);
    g_pDirectSound[1]->Render(out.data(), 2048);
    double e = 0;
    for (float v : out)
        e += v * v;
    EXPECT_GT(e, 1.0);  // a half-scale tone; at -96 dB it would be about 1e-9
    EXPECT_NE(g.m_dwAnnounceEnd, 0u);
}

// The real game in the real host, with the keys and ticks the window delivers.
class CFlowHost : public CDoruzorODlg {
public:
    void OfferRegistration() override {
        m_nOffered = m_pGame->m_nScore;
        ++m_nOffers;
    }
    int m_nOffered = -1;
    int m_nOffers = 0;
};

class CQuietMenu : public CSceenMenu {
public:
    void Start(plat::CWnd*, const std::string&) override {}
    void Tick() override {}
    void Draw() override {}
};

TEST_F(FlowTest, HostRunsTheGameToRegistrationAndBackToTheMenu) {
    CFlowHost host;
    host.SetSceenFactories([] { return std::make_unique<CQuietMenu>(); },
                           [] { return std::make_unique<CSceenGame>(); });
    host.m_strBasePath = m_strBase;
    host.OpenSceen(2, 1);
    ASSERT_EQ(host.m_pGame->m_nMode, 2);
    CSceenGame& g = *host.m_pGame;
    for (int i = 0; i < 45 && g.m_nState != GS_PLAY; ++i) {
        m_clock.Advance(100);
        host.DeliverTimer(1);
    }
    ASSERT_EQ(g.m_nState, GS_PLAY);
    const int x = g.m_fighter.x;
    host.DeliverKey(plat::WM_KEYDOWN, plat::VK_LEFT);
    host.DeliverKey(plat::WM_KEYUP, plat::VK_LEFT);
    EXPECT_EQ(g.m_fighter.x, x - 30);  // pre-translation twice, key-down once

    g.m_nScore = 30;
    g.m_nLives = 1;
    g.FighterLost();
    for (int i = 0; i < 80 && !g.m_bKeysAccepted; ++i) {
        m_clock.Advance(100);
        host.DeliverTimer(1);
    }
    ASSERT_TRUE(g.m_bKeysAccepted);
    host.DeliverKey(plat::WM_KEYDOWN, plat::VK_SPACE);
    host.DeliverKey(plat::WM_KEYUP, plat::VK_SPACE);
    EXPECT_EQ(host.m_nSceenKind, 2);  // acted on at the next tick
    m_clock.Advance(100);
    host.DeliverTimer(1);
    EXPECT_EQ(host.m_nOffers, 1);
    EXPECT_EQ(host.m_nOffered, 30);
    EXPECT_EQ(host.m_nSceenKind, 1);
    EXPECT_FALSE(host.m_pGame);

    // Escape leaves a game at once, without a registration.
    host.OpenSceen(2, 1);
    host.DeliverKey(plat::WM_KEYDOWN, plat::VK_ESCAPE);
    host.DeliverKey(plat::WM_KEYUP, plat::VK_ESCAPE);
    m_clock.Advance(100);
    host.DeliverTimer(1);
    EXPECT_EQ(host.m_nSceenKind, 1);
    EXPECT_EQ(host.m_nOffers, 1);
    EXPECT_FALSE(host.IsModalLoopEnded());
    host.CloseSceen();
}

// The shooter's keys straight to the game: an arrow moves one step.
void ScriptedShooter(CSceenGame& g) {
    if (g.m_nState != GS_PLAY)
        return;
    replaytest::ScriptedShooter(g, 10, [&g](unsigned key) {
        if (key == plat::VK_LEFT || key == plat::VK_RIGHT)
            g.PreTranslateKey(key);
        else
            g.OnKeyUp(key);
    });
}

TEST_F(FlowTest, AShooterClearsTheGameAndScoresEveryUfoItShotDown) {
    StartGame();
    CSceenGame& g = *m_pGame;
    int nShotDown = 0;
    for (int i = 0; i < 200000 && g.m_nState != GS_ALLCLEAR && g.m_nState != GS_GAMEOVER; ++i) {
        ScriptedShooter(g);
        const int scoreBefore = g.m_nScore;
        TickOnce();
        nShotDown += (g.m_nScore - scoreBefore) / 10;
    }
    EXPECT_EQ(g.m_nScore, 10 * nShotDown);
    ASSERT_EQ(g.m_nState, GS_ALLCLEAR) << "stage " << g.m_nStage << " score " << g.m_nScore;
    EXPECT_EQ(g.m_nStage, 10);
    // With this seed every UFO of the 165 is shot down and no fighter is
    // lost: three lives and the one from stage 7.
    EXPECT_EQ(g.m_nScore, 10 * (3 + 6 + 9 + 12 + 15 + 18 + 21 + 24 + 27 + 30));
    EXPECT_EQ(g.m_nLives, 4);
    EXPECT_EQ(g.m_strBanner, "Congratulations");
    EXPECT_EQ(g.m_laser.bWide, 1);
    TickOnce();
    Release(plat::VK_SPACE);
    EXPECT_EQ(g.m_nResult, 2);
}

}  // namespace

namespace {

class SimulationTest : public FlowTest {
public:
    // Returns the most ticks any stage took; fails the test on a stage that
    // never ends.
    int Run(const std::string& strBase, int nGames) {
        constexpr int kMaxStageTicks = 6000;  // ten minutes of play
        int nWorst = 0;
        std::mt19937 moves(7);
        for (int game = 0; game < nGames; ++game) {
            plat::Srand(static_cast<unsigned>(1000 + game));
            StartGame(2, strBase);
            CSceenGame& g = *m_pGame;
            int nStageTicks = 0;
            for (int i = 0; i < 200000 && g.m_nState != GS_GAMEOVER; ++i) {
                if (g.m_nState == GS_PLAY) {
                    const unsigned r = moves() % 4;
                    if (r == 1)
                        g.PreTranslateKey(plat::VK_LEFT);
                    else if (r == 2)
                        g.PreTranslateKey(plat::VK_RIGHT);
                    ++nStageTicks;
                } else {
                    nWorst = std::max(nWorst, nStageTicks);
                    nStageTicks = 0;
                }
                if (nStageTicks > kMaxStageTicks) {
                    ADD_FAILURE() << "seed " << 1000 + game << ": stage " << g.m_nStage
                                  << " runs on; UFOs " << g.m_arrUfos.size() << ", lowest y "
                                  << LowestUfo(g) << ", fighter y " << g.m_fighter.y;
                    return nWorst;
                }
                TickOnce();
            }
            EXPECT_EQ(g.m_nState, GS_GAMEOVER) << "seed " << 1000 + game;
            m_pGame.reset();
        }
        return nWorst;
    }
    static int LowestUfo(const CSceenGame& g) {
        int y = 0;
        for (const auto& u : g.m_arrUfos)
            y = std::max(y, u->y);
        return y;
    }
};

TEST_F(SimulationTest, EveryStageEndsWithTheTestPictures) {
    EXPECT_GT(Run(m_strBase, 40), 0);
}

TEST_F(SimulationTest, EveryStageEndsWithTheGameData) {
    const std::string data = DORUZORO_DATA_DIR;
    if (!std::filesystem::exists(data + "/image/UFO.kpg") ||
        !std::filesystem::exists(data + "/image/Fighter.kpg"))
        GTEST_SKIP() << "no generated pictures in " << data;
    EXPECT_GT(Run(data, 40), 0);
}

// With the shipped pictures a missile that falls onto the fighter must reach
// it before it leaves the field, wherever on a UFO row it was released.
TEST_F(SimulationTest, WithTheGameDataAMissileFallingOnTheFighterDestroysIt) {
    const std::string data = DORUZORO_DATA_DIR;
    if (!std::filesystem::exists(data + "/image/misile.kpg") ||
        !std::filesystem::exists(data + "/image/Fighter.kpg"))
        GTEST_SKIP() << "no generated pictures in " << data;
    for (int uy = 80; uy <= 200; uy += 40) {
        StartGame(2, data);
        CSceenGame& g = *m_pGame;
        ASSERT_TRUE(TickUntilState(GS_PLAY, 200));
        g.m_arrUfos.clear();
        g.m_dwNextSpawn = m_clock.Now() + 3600000;  // no UFO while it falls
        const int centre = g.m_fighter.x + g.m_fighter.cx / 2;
        g.FireMissile(centre, uy);
        for (int i = 0; i < 100 && !g.m_arrMissiles.empty(); ++i)
            TickOnce();
        EXPECT_NE(g.m_fighter.nState, OS_ALIVE) << "a missile released at y " << uy << " missed";
        m_pGame.reset();
    }
}

}  // namespace
