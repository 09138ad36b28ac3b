// The tutorial driven tick by tick on the fake clock, with silent sound.
#include <gtest/gtest.h>

#include "app/DoruzorODlg.h"
#include "game_fixture.h"
#include "platform/keys.h"

namespace {

using namespace gameview;

struct SStepSeen {
    int nStep = 0;
    uint32_t dwAt = 0;  // milliseconds since Start began
    std::vector<std::string> arrLines;
    std::vector<int> arrClipsSounding;  // tutorial clips (0 to 12) loaded and playing
    size_t nUfos = 0;
    size_t nMissiles = 0;
};

const std::vector<std::vector<std::string>> kExpectedLines = {
    {"You control [The fighter]", " and shoot down a UFO."},
    {"The UFO appears from the left."},
    {"When the UFO arrives at the right-side end,",
     "the UFO go to the left,And the UFO approaches."},
    {"When there is a UFO to the left than a fighter,", " You hear a sound from the left speaker."},
    {"When there is a UFO to the right than a fighter,", " You hear a sound from a right speaker."},
    {"When You are in right above,", " You push the space key, ",
     " and please shoot it down with a laser."},
    {"[The fighter] moves with right and left key."},
    {"The UFO may appear from the right", "Plural UFO may appear."},
    {"When a UFO goes down to the bottom,", " [The fighter] is destroyed."},
    {"The UFO shoots a missile.", " When [The fighter] crashes into a missile,",
     "it is destroyed."},
    {"[The fighter] is three planes.."},
    {"You can make a barrier for two seconds,", "when You push the Z key."},
    {"The barrier can prevent a missile."},
};

class TutorialTest : public GameFixture {
protected:
    using GameFixture::GameFixture;

    void SetUp() override {
        GameFixture::SetUp();
        WritePictures();
        WriteTutorialClips();
    }

    std::vector<int> ClipsSounding(const CSceenGame& game) const {
        std::vector<int> arr;
        for (int k = 0; k < 13; ++k) {
            const auto& pBuffer = game.m_sound.m_pBuffer[game.m_idText[k]];
            if (pBuffer && (pBuffer->GetStatus() & plat::kAudioPlaying)) {
                arr.push_back(k);
            }
        }
        return arr;
    }

    // Ticks every 100 ms, painting like the host, until the scene leaves a
    // result or the time runs out; calls fnEachTick before every tick.
    std::vector<SStepSeen> Run(CSceenGame& game, uint32_t dwStart,
                               const std::function<void(CSceenGame&)>& fnEachTick = {}) {
        std::vector<SStepSeen> arrSeen;
        for (int i = 0; i < 1500 && game.m_nResult == -1; ++i) {
            m_clock.Advance(100);
            if (fnEachTick) {
                fnEachTick(game);
            }
            const int nBefore = game.m_nTutorialStep;
            game.Tick();
            if (m_host.DispatchPendingPaint()) {
                game.Draw();  // as the host's paint handler does
            }
            EXPECT_EQ(game.m_nScore, 0);
            EXPECT_EQ(game.m_nLives, 3);
            EXPECT_TRUE(game.m_nState == GS_TUTORIAL || game.m_nState == GS_INTRO) << game.m_nState;
            if (game.m_nTutorialStep != nBefore) {
                arrSeen.push_back({nBefore, m_clock.Now() - dwStart, game.m_arrTextLines,
                                   ClipsSounding(game), game.m_arrUfos.size(),
                                   game.m_arrMissiles.size()});
            }
        }
        return arrSeen;
    }

    void ExpectThirteenSteps(const std::vector<SStepSeen>& arrSeen) {
        ASSERT_EQ(arrSeen.size(), 13u);
        for (int k = 0; k < 13; ++k) {
            const SStepSeen& seen = arrSeen[k];
            EXPECT_EQ(seen.nStep, k);
            EXPECT_EQ(seen.arrLines, kExpectedLines[k]) << "step " << k;
            // Each step starts its own clip; the earlier ones were started before.
            std::vector<int> arrUpTo;
            for (int j = 0; j <= k; ++j) {
                arrUpTo.push_back(j);
            }
            EXPECT_EQ(seen.arrClipsSounding, arrUpTo) << "step " << k;
            if (k > 0) {
                EXPECT_NEAR(seen.dwAt - arrSeen[k - 1].dwAt, 6000, 100) << "step " << k;
            }
        }
    }
};

TEST_F(TutorialTest, ThirteenStepsInOrderWithTheirTextsAndClipsThenTheMenu) {
    const uint32_t dwStart = m_clock.Now();
    CSceenGame& game = StartGame(1);
    EXPECT_EQ(game.m_strBanner, "Tutorial");
    EXPECT_EQ(game.m_nState, GS_INTRO);
    EXPECT_EQ(game.m_nUfoQuota, 303);

    const std::vector<SStepSeen> arrSeen = Run(game, dwStart);
    ExpectThirteenSteps(arrSeen);
    ASSERT_EQ(arrSeen.size(), 13u);
    // 1 s opening, 4 s intro, 1 s to the first step.
    EXPECT_NEAR(arrSeen[0].dwAt, 6000, 200);
    EXPECT_EQ(arrSeen[0].nUfos, 0u);
    EXPECT_EQ(arrSeen[1].nUfos, 1u);  // step 1 brings the one UFO, and no other comes
    for (size_t k = 1; k < arrSeen.size(); ++k) {
        EXPECT_EQ(arrSeen[k].nUfos, 1u) << k;
    }
    EXPECT_EQ(arrSeen[8].nMissiles, 0u);
    EXPECT_EQ(arrSeen[9].nMissiles, 1u);  // released by step 9, and only then

    EXPECT_EQ(game.m_nResult, 0);
    const uint32_t dwEnd = m_clock.Now() - dwStart;
    EXPECT_GE(dwEnd, 84000u);
    EXPECT_LE(dwEnd, 84000u + 300);
    EXPECT_EQ(game.m_nScore, 0);
    EXPECT_EQ(game.m_nStage, 1);
}

TEST_F(TutorialTest, TheUfoEntersFromTheLeftAndIsPutBackUpAtStepEight) {
    CSceenGame& game = StartGame(1);
    const CUfo* pUfo = nullptr;
    int nYBefore = 0;
    Run(game, m_clock.Now(), [&](CSceenGame& g) {
        if (g.m_nTutorialStep == 2 && !pUfo) {
            ASSERT_EQ(g.m_arrUfos.size(), 1u);
            pUfo = g.m_arrUfos[0].get();
            EXPECT_EQ(pUfo->nSpeed, 1);
            EXPECT_EQ(pUfo->y, 80);
            EXPECT_LT(pUfo->x, 100);
            EXPECT_EQ(pUfo->bLeftward, 0);
        }
        if (g.m_nTutorialStep == 8 && pUfo) {
            nYBefore = pUfo->y;
        }
        if (g.m_nTutorialStep == 9 && nYBefore != 0) {
            // Put at 50 by the step, moved once since by the same tick.
            EXPECT_GT(nYBefore, 80);
            EXPECT_TRUE(pUfo->y == 50 || pUfo->y == 50 + 2 * pUfo->cy) << pUfo->y;
            ASSERT_EQ(g.m_arrMissiles.size(), 0u);
            nYBefore = 0;
        }
        if (g.m_nTutorialStep == 10 && pUfo) {
            ASSERT_EQ(g.m_arrMissiles.size(), 1u);
            const CMissile& missile = *g.m_arrMissiles[0];
            EXPECT_GT(missile.y, pUfo->y - 2 * pUfo->cy);
            pUfo = nullptr;
        }
    });
    EXPECT_EQ(game.m_nResult, 0);
}

TEST_F(TutorialTest, WithoutItsUfoStepsEightAndNineOnlySpeak) {
    CSceenGame& game = StartGame(1);
    const std::vector<SStepSeen> arrSeen = Run(game, m_clock.Now(), [](CSceenGame& g) {
        if (g.m_nTutorialStep == 8 && !g.m_arrUfos.empty()) {
            const std::lock_guard<CCriticalSection> lock(g.m_lock);
            g.m_arrUfos.clear();
        }
    });
    ExpectThirteenSteps(arrSeen);
    ASSERT_EQ(arrSeen.size(), 13u);
    EXPECT_EQ(arrSeen[8].nUfos, 0u);
    EXPECT_EQ(arrSeen[9].nMissiles, 0u);
    EXPECT_TRUE(game.m_arrMissiles.empty());
    EXPECT_EQ(game.m_nResult, 0);
}

TEST_F(TutorialTest, AStepIsNotDueBeforeItsTime) {
    CSceenGame& game = StartGame(1);
    game.m_nState = GS_TUTORIAL;
    game.m_dwNextTutorialStep = m_clock.Now() + 1;
    game.TutorialStep();
    EXPECT_EQ(game.m_nTutorialStep, 0);
    m_clock.Advance(1);
    game.TutorialStep();
    EXPECT_EQ(game.m_nTutorialStep, 1);
    EXPECT_EQ(game.m_dwNextTutorialStep, m_clock.Now() + 6000);
    game.TutorialStep();
    EXPECT_EQ(game.m_nTutorialStep, 1);
    EXPECT_EQ(game.m_nResult, -1);
}

// The tick counter passes 2^31 about 75 s into the tutorial (after 24.8 days
// of uptime): the steps keep their 6 s pace and the tutorial still ends.
class TutorialAcrossTheSignBitTest : public TutorialTest {
protected:
    TutorialAcrossTheSignBitTest() : TutorialTest(0x80000000u - 75000) {}
};

TEST_F(TutorialAcrossTheSignBitTest, StepsKeepTheirPace) {
    const uint32_t dwStart = m_clock.Now();
    CSceenGame& game = StartGame(1);
    const std::vector<SStepSeen> arrSeen = Run(game, dwStart);
    ExpectThirteenSteps(arrSeen);
    EXPECT_EQ(game.m_nResult, 0);
}

// Through the host: choosing "Tutorial" opens it, its end opens the menu.
class CHeadlessHost : public CDoruzorODlg {
public:
    void OpenResultPage(int) override {}
    int LaunchUpdater(const std::string&, const std::string&, const std::string&) override {
        return 1;
    }
    void OfferRegistration() override { ++m_nOffers; }
    int m_nOffers = 0;
};

TEST_F(TutorialTest, TheHostGoesBackToTheMenuWhenTheTutorialEnds) {
    CHeadlessHost host;
    host.m_strBasePath = m_strBase;
    host.OpenSceen(2, 0);
    ASSERT_EQ(host.m_nSceenKind, 2);
    ASSERT_TRUE(host.m_pGame);
    EXPECT_EQ(host.m_pGame->m_nMode, 1);
    const uint32_t dwStart = m_clock.Now();
    int nTicks = 0;
    while (host.m_nSceenKind == 2 && nTicks < 1500) {
        m_clock.Advance(100);
        host.DeliverTimer(1);
        host.DispatchPendingPaint();
        ++nTicks;
    }
    EXPECT_EQ(host.m_nSceenKind, 1);
    EXPECT_TRUE(host.m_pMenu);
    EXPECT_FALSE(host.m_pGame);
    EXPECT_EQ(host.m_nOffers, 0);
    EXPECT_NEAR(m_clock.Now() - dwStart, 84000, 2000);
    host.CloseSceen();
}

}  // namespace
