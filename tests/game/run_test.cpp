// Thousands of ticks of seeded games with a player that moves, fires and
// raises the barrier, drawn and heard through the offline mixer: every
// rule's bookkeeping must hold on every tick, and the run must end cleanly.
#include <random>

#include "game_fixture.h"
#include "platform/keys.h"

namespace gametest {
namespace {

class RunTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        WritePictures();
        WriteObjectSounds();
    }

    // Wanders left and right, fires now and then (often while the laser
    // recharges) and raises the barrier at random: it shoots UFOs down,
    // clears stages and loses fighters.
    void Play(std::mt19937& keys, bool bActive) {
        CSceenGame& g = *m_pGame;
        const unsigned r = bActive ? keys() % 64 : 63;
        if (r < 16)
            g.PreTranslateKey(plat::VK_LEFT);
        else if (r < 32)
            g.OnKeyDown(plat::VK_RIGHT);
        else if (r < 36)
            g.OnKeyUp(plat::VK_SPACE);
        else if (r == 36)
            g.OnKeyUp('Z');
        if (g.m_bKeysAccepted)
            g.OnKeyUp(plat::VK_SPACE);
    }

    void CheckWorld() {
        const CSceenGame& g = *m_pGame;
        ASSERT_LE(g.m_nUfoSpawned, g.m_nUfoQuota);
        ASSERT_EQ(g.m_nScore % 10, 0);
        ASSERT_GE(g.m_nBarrierCharges, 0);
        ASSERT_GE(g.m_nStage, 1);
        ASSERT_LE(g.m_nStage, 10);
        for (const auto& u : g.m_arrUfos) {
            ASSERT_TRUE(u->nState == OS_ALIVE || u->nState == OS_EXPLODING);
            ASSERT_LE(u->nFrame, 20);
        }
        for (const auto& m : g.m_arrMissiles) {
            ASSERT_GE(m->nState, OS_ALIVE);
            ASSERT_LE(m->nState, OS_FINISHED);
            if (m->nState == OS_ALIVE) {
                ASSERT_LE(m->y, kFieldCy - 100);
            }
        }
    }
};

TEST_F(RunTest, SeededGamesRunThousandsOfTicksAndEndCleanly) {
    std::mt19937 keys(4242);
    int nGames = 0, nShotDown = 0, nFightersLost = 0, nStagesCleared = 0;
    StartGame();
    // An active player first, then one that only waits for the end screen.
    constexpr int kActiveTicks = 4000, kTicks = 7500;
    for (int tick = 0; tick < kTicks; ++tick) {
        if (tick == kActiveTicks) {
            m_pGame->Stop();
            StartGame();
        }
        CSceenGame& g = *m_pGame;
        Play(keys, tick < kActiveTicks);
        if (g.m_nResult >= 1) {
            // The host would offer registration and return to the menu.
            ++nGames;
            g.Stop();
            StartGame();
            continue;
        }
        const int nScore = g.m_nScore, nLives = g.m_nLives, nStage = g.m_nStage;
        const int nState = g.m_nState;
        TickOnce();
        if (g.m_nScore != nScore) {
            ASSERT_EQ(g.m_nScore, nScore + 10 * ((g.m_nScore - nScore) / 10));
            nShotDown += (g.m_nScore - nScore) / 10;
            ASSERT_FALSE(g.m_arrTextLines.empty());
            ASSERT_EQ(g.m_arrTextLines[0], "SCORE " + std::to_string(g.m_nScore));
            const int n = g.m_nScore / 10;
            if (n <= 5) {
                ASSERT_TRUE(IsPlaying(g.m_sound, g.m_idNumber[n - 1]));
            }
        }
        if (g.m_nLives < nLives) {
            ++nFightersLost;
            ASSERT_TRUE(g.m_nState == GS_LOST || g.m_nState == GS_GAMEOVER);
        }
        if (g.m_nStage > nStage || (nState == GS_PLAY && g.m_nState == GS_ALLCLEAR))
            ++nStagesCleared;
        CheckWorld();
        if (tick % 4 == 0) {
            g.Draw();
            Render(1200);  // 25 ms of every hum, flight sound and warning
        }
    }
    m_pGame->Stop();
    EXPECT_TRUE(m_pGame->m_arrUfos.empty());
    EXPECT_TRUE(m_pGame->m_arrMissiles.empty());
    m_pGame.reset();
    const std::vector<float> after = Render(4800);
    EXPECT_LT(Energy(after, 0) + Energy(after, 1), 1e-6);  // nothing sounds on
    EXPECT_GT(nShotDown, 10);
    EXPECT_GT(nStagesCleared, 0);
    EXPECT_GE(nFightersLost, 3);
    EXPECT_GE(nGames, 1);  // the waiting player's game ended and a new one began
    RecordProperty("shot_down", nShotDown);
    RecordProperty("fighters_lost", nFightersLost);
    RecordProperty("games", nGames);
}

}  // namespace
}  // namespace gametest
