// Whole seeded games driven through the host are recorded, then re-run by
// doruzoro-verify in a fresh process: same score, stages, lives and state
// after every stage. Recording changes nothing the game does.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "full_game.h"
#include "replay_fixture.h"

namespace replaytest {
namespace {

std::string StageLine(const replay::SStageHash& s) {
    char text[64];
    std::snprintf(text, sizeof text, "stage %d: %016llx", s.nStage,
                  static_cast<unsigned long long>(s.qwHash));
    return text;
}

class WholeGameTest : public ReplayFixture {
protected:
    // Plays until the end screen takes the space key, remembers where the
    // game stood and leaves with Space, as a player does.
    void PlayToTheEnd(int nMaxTicks, const std::function<void(CSceenGame&)>& fnPlayer) {
        bool bLeft = false;
        const bool bClosed = PlayUntilClosed(nMaxTicks, [&](CSceenGame& g) {
            m_live = {g.m_nStage, g.m_nScore, g.m_nLives, 0};
            if (g.m_bKeysAccepted && !bLeft) {
                bLeft = true;
                Press(plat::VK_SPACE);
            } else if (fnPlayer && (g.m_nState == GS_PLAY || g.m_nState == GS_TUTORIAL)) {
                fnPlayer(g);
            }
        });
        ASSERT_TRUE(bClosed) << "the game did not end; stage " << m_live.nStage;
    }

    // The one saved replay re-run in a fresh process must agree with the live game.
    void ExpectVerifiedAsPlayed(const char* mode) {
        const auto files = SavedReplays();
        ASSERT_EQ(files.size(), 1u);
        SVerifierRun run = RunVerifier(m_strBase, files[0].string());
        EXPECT_EQ(run.nStatus, 0) << run.fields["result"];
        EXPECT_EQ(run.fields["result"], "in step");
        EXPECT_EQ(run.fields["mode"], mode);
        EXPECT_EQ(run.fields["score"], std::to_string(m_live.nScore));
        EXPECT_EQ(run.fields["stages"], std::to_string(m_live.nStage));
        EXPECT_EQ(run.fields["lives"], std::to_string(m_live.nLives));
        std::vector<std::string> expected;
        for (const auto& s : m_arrStages)
            expected.push_back(StageLine(s));
        EXPECT_EQ(run.arrStageLines, expected);
        // The name says what the program saw.
        const std::string name = files[0].filename().string();
        EXPECT_NE(name.find(std::string("_") + mode + "_" + std::to_string(m_live.nScore) + ".dzr"),
                  std::string::npos)
            << name;
    }

    replay::SSummary m_live;
};

TEST_F(WholeGameTest, IdlePlayerLosesEveryFighterAndTheReplayAgrees) {
    OpenGame(1, 4242);
    PlayToTheEnd(40000, nullptr);
    EXPECT_EQ(m_live.nLives, 0);
    ExpectVerifiedAsPlayed("game");
}

TEST_F(WholeGameTest, WanderingShooterIsReplayedToItsScore) {
    OpenGame(1, 777);
    SWanderer wanderer(99);
    wanderer.press = [this](unsigned key) { Press(key); };
    PlayToTheEnd(40000, std::ref(wanderer));
    EXPECT_GT(m_live.nScore, 0);
    EXPECT_EQ(m_pHost->m_nOffers, 1);
    ExpectVerifiedAsPlayed("game");
    // The registration had the finished replay, the one saved.
    EXPECT_EQ(m_pHost->m_strOfferedReplay, ReadBytes(SavedReplays()[0]));
}

TEST_F(WholeGameTest, TutorialEndsByItselfAndIsReplayed) {
    OpenGame(0, 31337);
    PlayUntilClosed(4000, [this](CSceenGame& g) {
        m_live = {g.m_nStage, g.m_nScore, g.m_nLives, 0};
        if (m_clock.Now() % 2300 == 0)
            Press(plat::VK_SPACE);
    });
    ASSERT_EQ(Game(), nullptr);
    ExpectVerifiedAsPlayed("tutorial");
}

TEST_F(WholeGameTest, AGameToTheLastStageIsReplayedStageByStage) {
    OpenGame(1, 20261208);
    PlayToTheEnd(60000, [this](CSceenGame& g) {
        if (g.m_nState == GS_PLAY)
            ScriptedShooter(g, kHostKeyTolerance, [this](unsigned key) { Press(key); });
    });
    EXPECT_EQ(m_live.nStage, 10);
    EXPECT_EQ(m_arrStages.size(), 10u);
    ExpectVerifiedAsPlayed("game");
}

// A pause lasts any time, while the timer keeps its own step: the first tick
// after it may come sooner in the game's time than the timer ever ticks.
// The host holds that tick back, so a game paused many times still verifies.
TEST_F(WholeGameTest, PausesOutOfStepWithTheTimerStillVerify) {
    OpenGame(1, 2718);
    SWanderer wanderer(7);
    wanderer.press = [this](unsigned key) { Press(key); };
    int nTick = 0, nPauses = 0;
    PlayToTheEnd(40000, [&](CSceenGame& g) {
        wanderer(g);
        if (++nTick % 120 != 60 || nPauses >= 20)
            return;
        ++nPauses;
        m_clock.Advance(60);  // paused 60 ms after a tick...
        Press('P');
        for (int i = 0; i < 30; ++i)
            Tick();
        m_clock.Advance(30);  // ...resumed 10 ms before the timer's next
        Press('P');
        m_clock.Advance(10);
        m_pHost->DeliverTimer(1);
        m_pHost->DispatchPendingPaint();
    });
    EXPECT_EQ(nPauses, 20);
    ExpectVerifiedAsPlayed("game");
}

// Where two replays part: the event and what each holds there.
std::string FirstDifference(const std::string& a, const std::string& b) {
    SDecoded d[2];
    if (!Decode(a, d[0]) || !Decode(b, d[1]))
        return "a replay does not decode";
    const auto& ea = d[0].arrEvents;
    const auto& eb = d[1].arrEvents;
    int nTicks = 0;
    for (size_t i = 0; i < std::min(ea.size(), eb.size()); ++i) {
        if (ea[i].kind != eb[i].kind || ea[i].nKey != eb[i].nKey ||
            ea[i].arrReads != eb[i].arrReads)
            return "after " + std::to_string(nTicks) + " ticks: " + replay::EventName(ea[i].kind) +
                   " against " + replay::EventName(eb[i].kind);
        nTicks += ea[i].kind == replay::EV_TICK;
    }
    return std::to_string(ea.size()) + " events against " + std::to_string(eb.size());
}

// The player's own keys and pauses are no part of the game: the same game
// played with them, and with keys pressed while it is paused, records the
// same replay, byte for byte, and passes through the same states.
TEST_F(WholeGameTest, PausesAndVolumeKeysLeaveTheReplayAsItWas) {
    std::string arrReplay[2];
    std::vector<replay::SStageHash> arrStages[2];
    replay::SSummary arrLive[2];
    for (int run = 0; run < 2; ++run) {
        m_clock = plat::CFakeClock();
        OpenGame(1, 4711);
        const auto press = [this](unsigned key) { Press(key); };
        const auto pausedFor = [&](int nTicks) {
            for (int i = 0; i < nTicks; ++i) {
                press(i % 2 ? plat::VK_RIGHT : plat::VK_SPACE);  // lost on a paused game
                Tick();
            }
        };
        int nTick = 0;
        bool bLeft = false;
        PlayUntilClosed(60000, [&](CSceenGame& g) {
            ++nTick;
            if (run == 1 && nTick % 97 == 0)
                press(std::vector<unsigned>{plat::VK_PRIOR, plat::VK_NEXT, plat::VK_HOME,
                                            plat::VK_END}[nTick % 4]);
            if (run == 1 && nTick % 500 == 250) {
                press('P');
                EXPECT_TRUE(m_pHost->IsPaused());
                pausedFor(40);
                press('P');
            }
            if (run == 1 && nTick % 500 == 0) {
                m_pHost->DeliverActivate(false);  // another program's window
                EXPECT_TRUE(m_pHost->IsPaused());
                pausedFor(20);
                m_pHost->DeliverActivate(true);
                pausedFor(3);
                press(plat::VK_PAUSE);
            }
            ASSERT_FALSE(m_pHost->IsPaused());
            arrLive[run] = {g.m_nStage, g.m_nScore, g.m_nLives, 0};
            if (g.m_bKeysAccepted && !bLeft) {
                bLeft = true;
                press(plat::VK_SPACE);
            } else if (g.m_nState == GS_PLAY) {
                ScriptedShooter(g, kHostKeyTolerance, press);
            }
        });
        ASSERT_EQ(Game(), nullptr);
        EXPECT_GT(nTick, 2000);
        arrReplay[run] = m_pHost->m_strLastReplay;
        arrStages[run] = m_arrStages;
    }
    ASSERT_FALSE(arrReplay[0].empty());
    EXPECT_GT(arrLive[0].nScore, 0);
    EXPECT_EQ(arrLive[1].nScore, arrLive[0].nScore);
    EXPECT_EQ(arrLive[1].nStage, arrLive[0].nStage);
    ASSERT_EQ(arrStages[1].size(), arrStages[0].size());
    for (size_t i = 0; i < arrStages[0].size(); ++i)
        EXPECT_EQ(StageLine(arrStages[1][i]), StageLine(arrStages[0][i]));
    EXPECT_TRUE(arrReplay[1] == arrReplay[0]) << FirstDifference(arrReplay[0], arrReplay[1]);
}

class RecordingTest : public ReplayFixture {
protected:
    // Per-tick state of one seeded game with a wandering player.
    std::vector<uint64_t> TickHashes(int nTicks) {
        std::vector<uint64_t> out;
        SWanderer wanderer(5);
        wanderer.press = [this](unsigned key) { Press(key); };
        for (int i = 0; i < nTicks && Game(); ++i) {
            wanderer(*Game());
            if (!Game())
                break;
            Tick();
            if (Game())
                out.push_back(replay::GameStateHash(*Game()));
        }
        return out;
    }
};

TEST_F(RecordingTest, RecordingChangesNothingTheGameDoes) {
    std::vector<uint64_t> runs[2];
    for (int i = 0; i < 2; ++i) {
        m_clock = plat::CFakeClock();
        OpenGame(1, 555, i == 1);
        runs[i] = TickHashes(3000);
        m_pHost->CloseSceen();  // as the window's end does
    }
    ASSERT_GT(runs[0].size(), 100u);
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(SavedReplays().size(), 1u);  // only the recorded run left a file
}

TEST_F(RecordingTest, NoRecordLeavesNoFile) {
    OpenGame(1, 1, false);
    for (int i = 0; i < 100; ++i)
        Tick();
    m_pHost->CloseSceen();
    EXPECT_TRUE(SavedReplays().empty());
    EXPECT_TRUE(m_pHost->m_strLastReplay.empty());
}

TEST_F(RecordingTest, AFailedWriteLosesTheReplayAndNothingElse) {
    // A file where the folder should be: no one, root included, can make it.
    std::ofstream(m_strBase + "/blocked") << "x";
    OpenGame(1, 8);
    m_pHost->m_strReplayFolder = m_strBase + "/blocked/replays";
    for (int i = 0; i < 120; ++i)
        Tick();
    const int nScore = Game()->m_nScore;
    EXPECT_TRUE(m_arrSaid.empty());
    m_pHost->CloseSceen();
    EXPECT_FALSE(m_pHost->m_strLastReplay.empty());  // kept in memory all the same
    // The player hears it: a blind player never reads standard error.
    ASSERT_EQ(m_arrSaid.size(), 1u);
    EXPECT_EQ(m_arrSaid[0].rfind("This game's replay could not be saved: ", 0), 0u) << m_arrSaid[0];
    m_pHost->OpenSceen(1, 0);
    EXPECT_EQ(m_pHost->m_nSceenKind, 1);
    EXPECT_GE(nScore, 0);
}

}  // namespace
}  // namespace replaytest
