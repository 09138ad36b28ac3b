// Replays recorded through the real host on a fake clock, checked by the
// server's checker as an upload would be: whole games verified at their
// score, every kind of forgery refused with its reason, the queue's cap and
// shutdown, and re-runs on several threads that do not disturb each other.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <random>
#include <thread>

#include "full_game.h"
#include "platform/audio.h"
#include "platform/compress.h"
#include "platform/gfx.h"
#include "platform/msgbox.h"
#include "recorded_game.h"
#include "replay_fixture.h"
#include "server/ReplayCheck.h"

namespace {

namespace fs = std::filesystem;
using recorded::Record;
using recorded::SGame;
using replaytest::Decode;
using replaytest::Encode;
using replaytest::SDecoded;

// The games are recorded once for the whole suite: a full ten-stage game,
// a short game of a wandering player and the tutorial.
class CheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        // Each test runs in its own process, several at once: a folder each.
        s_strBase = ::testing::TempDir() + "doruzoro_check_test." + std::to_string(getpid());
        fs::remove_all(s_strBase);
        recorded::WritePictures(s_strBase);
        s_full =
            Record(s_strBase, 1, 20261208, [](const CSceenGame& g, const auto& press, uint32_t) {
                if (g.m_nState == GS_PLAY)
                    replaytest::ScriptedShooter(g, replaytest::kHostKeyTolerance, press);
            });
        auto rng = std::make_shared<std::mt19937>(99);
        s_short =
            Record(s_strBase, 1, 777, [rng](const CSceenGame& g, const auto& press, uint32_t) {
                const unsigned keys[] = {plat::VK_LEFT, plat::VK_RIGHT, plat::VK_SPACE, 'Z'};
                if (g.m_nState == GS_PLAY && (*rng)() % 3 == 0)
                    press(keys[(*rng)() % 4]);
            });
        // A fighter stepping left and right ten times as fast as key repeat goes.
        s_storm = Record(s_strBase, 1, 4242, [](const CSceenGame& g, const auto& press, uint32_t) {
            if (g.m_nState != GS_PLAY)
                return;
            for (int i = 0; i < 30; ++i)
                press(i % 2 ? plat::VK_LEFT : plat::VK_RIGHT);
        });
        s_tutorial =
            Record(s_strBase, 0, 31337, [](const CSceenGame&, const auto& press, uint32_t now) {
                if (now % 2300 == 0)
                    press(plat::VK_SPACE);
            });
    }
    static void TearDownTestSuite() {
        plat::SetMessageBoxHandler({});
        fs::remove_all(s_strBase);
    }

    static std::unique_ptr<CReplayChecker> MakeChecker(
        int nWorkers, size_t nMaxQueue, const SCheckLimits& limits = SCheckLimits()) {
        std::string err;
        replay::SGeometry official;
        EXPECT_TRUE(replay::OfficialGeometry(s_strBase, official, err)) << err;
        auto p = CReplayChecker::Create(official, nWorkers, nMaxQueue, limits, err);
        EXPECT_TRUE(p) << err;
        return p;
    }

    static std::string Edited(const std::string& file, const std::function<void(SDecoded&)>& edit) {
        SDecoded d;
        EXPECT_TRUE(Decode(file, d));
        edit(d);
        return Encode(d);
    }
    static std::string s_strBase;
    static SGame s_full;
    static SGame s_short;
    static SGame s_tutorial;
    static SGame s_storm;
};

std::string CheckTest::s_strBase;
SGame CheckTest::s_full;
SGame CheckTest::s_short;
SGame CheckTest::s_tutorial;
SGame CheckTest::s_storm;

void ExpectRefused(const SCheckResult& r, const char* pReason) {
    EXPECT_FALSE(r.bVerified);
    EXPECT_EQ(r.strReason, pReason);
}

TEST_F(CheckTest, WholeGamesAreVerifiedAtTheirScore) {
    ASSERT_FALSE(s_full.strReplay.empty());
    ASSERT_GT(s_full.nScore, s_short.nScore);
    ASSERT_GT(s_short.nScore, 0);
    std::string err;
    const auto checker = CReplayChecker::Create(s_strBase, 1, 4, err);
    ASSERT_TRUE(checker) << err;
    for (const SGame* g : {&s_full, &s_short, &s_tutorial}) {
        const SCheckResult r = checker->CheckNow(g->strReplay, g->nLevel, g->nScore);
        EXPECT_TRUE(r.bVerified) << r.strReason;
        EXPECT_TRUE(r.strReason.empty());
    }
    // Without the game's pictures there is nothing to check against.
    EXPECT_FALSE(CReplayChecker::Create(s_strBase + "/nowhere", 1, 4, err));
    EXPECT_NE(err.find("UFO.kpg"), std::string::npos) << err;
    EXPECT_FALSE(CReplayChecker::Create(s_strBase, 0, 4, err));
    EXPECT_FALSE(CReplayChecker::Create(s_strBase, 1, 0, err));
}

TEST_F(CheckTest, ClaimsTheReplayDoesNotBackAreRefusedWithTheirReason) {
    const auto checker = MakeChecker(1, 4);
    using namespace checkreason;
    // A higher score, a lower one, the tutorial's level, a level that is none.
    ExpectRefused(checker->CheckNow(s_full.strReplay, 1, s_full.nScore + 10), kNotThisScore);
    ExpectRefused(checker->CheckNow(s_full.strReplay, 1, s_full.nScore - 10), kNotThisScore);
    ExpectRefused(checker->CheckNow(s_full.strReplay, 0, s_full.nScore), kOtherMode);
    ExpectRefused(checker->CheckNow(s_tutorial.strReplay, 1, s_tutorial.nScore), kOtherMode);
    ExpectRefused(checker->CheckNow(s_full.strReplay, 2, s_full.nScore), kOtherMode);
    ExpectRefused(checker->CheckNow(s_full.strReplay, -1, s_full.nScore), kOtherMode);
    // A shorter game sent with a longer game's score.
    ExpectRefused(checker->CheckNow(s_short.strReplay, 1, s_full.nScore), kNotThisScore);
}

TEST_F(CheckTest, EditedReplaysAreRefused) {
    const auto checker = MakeChecker(1, 4);
    using namespace checkreason;
    const int score = s_full.nScore;
    // The summary raised to a higher score, with that score claimed.
    const std::string higher =
        Edited(s_full.strReplay, [](SDecoded& d) { d.summary.nScore += 1000; });
    ExpectRefused(checker->CheckNow(higher, 1, score + 1000), kNotInStep);
    ExpectRefused(checker->CheckNow(higher, 1, score), kNotInStep);
    // One fire key of the middle of the game turned into a step aside.
    const std::string moved = Edited(s_full.strReplay, [](SDecoded& d) {
        std::vector<size_t> fires;
        for (size_t i = 0; i < d.arrEvents.size(); ++i) {
            if (d.arrEvents[i].kind == replay::EV_KEYUP && d.arrEvents[i].nKey == plat::VK_SPACE)
                fires.push_back(i);
        }
        ASSERT_GT(fires.size(), 10u);
        d.arrEvents[fires[fires.size() / 2]].nKey = plat::VK_LEFT;
    });
    EXPECT_FALSE(checker->CheckNow(moved, 1, score).bVerified);
    // One tick's counter value moved by a millisecond.
    const std::string retimed = Edited(s_full.strReplay, [](SDecoded& d) {
        for (size_t i = d.arrEvents.size() / 2; i < d.arrEvents.size(); ++i) {
            if (d.arrEvents[i].kind == replay::EV_TICK && !d.arrEvents[i].arrReads.empty()) {
                d.arrEvents[i].arrReads.push_back(d.arrEvents[i].arrReads.back());
                return;
            }
        }
    });
    ExpectRefused(checker->CheckNow(retimed, 1, score), kNotInStep);
    // One byte of the compressed file changed: the check value catches it.
    std::string flipped = s_full.strReplay;
    flipped[flipped.size() / 2] ^= 0x20;
    ExpectRefused(checker->CheckNow(flipped, 1, score), kDamaged);
    // Another version, other pictures, another window.
    ExpectRefused(
        checker->CheckNow(
            Edited(s_full.strReplay, [](SDecoded& d) { d.header.strVersion = "0.0.1"; }), 1, score),
        kOtherVersion);
    ExpectRefused(
        checker->CheckNow(
            Edited(s_full.strReplay, [](SDecoded& d) { d.header.geometry.pictures[1].cx += 2; }), 1,
            score),
        kOtherData);
    ExpectRefused(checker->CheckNow(Edited(s_full.strReplay,
                                           [](SDecoded& d) { d.header.geometry.client.cx = 640; }),
                                    1, score),
                  kOtherData);
}

TEST_F(CheckTest, BytesThatAreNoReplayAndOversizedOnesAreRefused) {
    const auto checker = MakeChecker(1, 4);
    using namespace checkreason;
    std::mt19937 rng(5);
    std::string noise(3000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    ExpectRefused(checker->CheckNow(noise, 1, 100), kDamaged);
    ExpectRefused(checker->CheckNow(std::string(), 1, 0), kDamaged);
    ExpectRefused(checker->CheckNow(std::string(replay::kMagic, 8) + noise, 1, 100), kDamaged);
    ExpectRefused(checker->CheckNow(s_full.strReplay.substr(0, s_full.strReplay.size() - 9), 1,
                                    s_full.nScore),
                  kDamaged);
    // Over the upload cap, though a replay's frame would take it.
    std::string big = s_full.strReplay;
    big.resize(checker->Limits().nMaxFileBytes + 1, 'x');
    ExpectRefused(checker->CheckNow(big, 1, s_full.nScore), kTooLong);
    // Compressed bombs: 32 MiB of zeros in 32 KB, claimed honestly, or
    // claimed small and inflating past the claim.
    const std::string zeros(replay::kMaxDataBytes, '\0');
    const std::string honest = recorded::Framed(zeros, static_cast<uint32_t>(zeros.size()));
    ASSERT_LT(honest.size(), checker->Limits().nMaxFileBytes);
    ExpectRefused(checker->CheckNow(honest, 1, 0), kTooLong);
    ExpectRefused(checker->CheckNow(recorded::Framed(zeros, 4000), 1, 0), kDamaged);
    // A game of more events than the checker allows.
    SCheckLimits limits;
    limits.nMaxEvents = 1000;
    ExpectRefused(MakeChecker(1, 1, limits)->CheckNow(s_full.strReplay, 1, s_full.nScore),
                  kTooLong);
}

// The costliest upload the limits let through is a real game with as many
// key events as a keyboard could send: it runs whole and is verified; with
// the event limit below its length it is too long.
TEST_F(CheckTest, AGameOfKeyStormsIsCheckedWholeWithinItsLimits) {
    const auto checker = MakeChecker(1, 1);
    std::string err;
    replay::SGeometry official;
    ASSERT_TRUE(replay::OfficialGeometry(s_strBase, official, err)) << err;
    const replay::SVerifyResult v = replay::VerifyReplay(s_storm.strReplay, official);
    ASSERT_EQ(v.verdict, replay::EVerdict::InStep) << v.strReason;
    EXPECT_GT(v.nEvents, checker->Limits().nMaxEvents / 2);
    EXPECT_LE(v.nEvents, checker->Limits().nMaxEvents);
    EXPECT_LE(s_storm.strReplay.size(), checker->Limits().nMaxFileBytes);
    const SCheckResult r = checker->CheckNow(s_storm.strReplay, 1, s_storm.nScore);
    EXPECT_TRUE(r.bVerified) << r.strReason;

    SCheckLimits limits;
    limits.nMaxEvents = v.nEvents - 1;
    ExpectRefused(MakeChecker(1, 1, limits)->CheckNow(s_storm.strReplay, 1, s_storm.nScore),
                  checkreason::kTooLong);
    limits.nMaxEvents = v.nEvents;
    EXPECT_TRUE(
        MakeChecker(1, 1, limits)->CheckNow(s_storm.strReplay, 1, s_storm.nScore).bVerified);
}

TEST_F(CheckTest, AFullQueueIsAnsweredAtOnceAndEveryCheckOnce) {
    const auto checker = MakeChecker(1, 2);
    std::mutex m;
    std::condition_variable cv;
    bool bRelease = false;
    bool bFirstRunning = false;
    std::vector<SCheckResult> results(5);
    std::vector<std::thread::id> threads(5);
    std::atomic<int> nAnswers{0};
    const auto answer = [&](int i) {
        return [&, i](const SCheckResult& r) {
            results[i] = r;
            threads[i] = std::this_thread::get_id();
            ++nAnswers;
        };
    };
    // The first check holds the only worker until released.
    checker->Check(s_short.strReplay, 1, s_short.nScore, [&](const SCheckResult& r) {
        results[0] = r;
        std::unique_lock<std::mutex> lock(m);
        bFirstRunning = true;
        cv.notify_all();
        cv.wait(lock, [&] { return bRelease; });
        ++nAnswers;
    });
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return bFirstRunning; }));
    }
    checker->Check(s_short.strReplay, 1, s_short.nScore, answer(1));
    checker->Check(s_tutorial.strReplay, 0, s_tutorial.nScore, answer(2));
    // Two wait: the next ones are answered on this thread, before Check returns.
    checker->Check(s_full.strReplay, 1, s_full.nScore, answer(3));
    EXPECT_EQ(threads[3], std::this_thread::get_id());
    ExpectRefused(results[3], checkreason::kBusy);
    checker->Check(s_full.strReplay, 1, s_full.nScore, answer(4));
    ExpectRefused(results[4], checkreason::kBusy);
    {
        const std::lock_guard<std::mutex> lock(m);
        bRelease = true;
    }
    cv.notify_all();
    for (int i = 0; i < 600 && nAnswers < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(nAnswers, 5);
    EXPECT_TRUE(results[0].bVerified) << results[0].strReason;
    EXPECT_TRUE(results[1].bVerified) << results[1].strReason;
    EXPECT_TRUE(results[2].bVerified) << results[2].strReason;
    EXPECT_NE(threads[1], std::this_thread::get_id());
}

TEST_F(CheckTest, DestructionAnswersEveryQueuedCheck) {
    auto checker = MakeChecker(1, 8);
    std::promise<void> running;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> nFirst{0};
    checker->Check(s_short.strReplay, 1, s_short.nScore, [&](const SCheckResult& r) {
        EXPECT_TRUE(r.bVerified) << r.strReason;
        running.set_value();
        released.wait();
        ++nFirst;
    });
    running.get_future().wait();
    std::mutex m;
    std::vector<SCheckResult> queued;
    for (int i = 0; i < 6; ++i) {
        checker->Check(s_full.strReplay, 1, s_full.nScore, [&](const SCheckResult& r) {
            const std::lock_guard<std::mutex> lock(m);
            queued.push_back(r);
        });
    }
    // The queued ones are answered while the running one still runs.
    std::thread destroyer([&checker] { checker.reset(); });
    for (int i = 0; i < 600; ++i) {
        {
            const std::lock_guard<std::mutex> lock(m);
            if (queued.size() == 6)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    {
        const std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(queued.size(), 6u);
        for (const SCheckResult& r : queued)
            ExpectRefused(r, checkreason::kShuttingDown);
    }
    release.set_value();
    destroyer.join();
    EXPECT_EQ(nFirst, 1);
    EXPECT_EQ(queued.size(), 6u);
}

// What the verifier saw of one game, to compare runs.
std::string Fingerprint(const replay::SVerifyResult& r) {
    std::string s = std::to_string(static_cast<int>(r.verdict)) + " " +
                    std::to_string(r.outcome.nScore) + " " + std::to_string(r.outcome.qwHash) +
                    " " + std::to_string(r.nEvents);
    for (const auto& st : r.arrStages)
        s += " " + std::to_string(st.qwHash);
    return s;
}

TEST_F(CheckTest, ReRunsOnTwoThreadsGiveWhatTheyGiveOneByOne) {
    std::string err;
    replay::SGeometry official;
    ASSERT_TRUE(replay::OfficialGeometry(s_strBase, official, err)) << err;
    const SGame* games[] = {&s_full, &s_short, &s_tutorial};
    std::string alone[3];
    for (int i = 0; i < 3; ++i)
        alone[i] = Fingerprint(replay::VerifyReplay(games[i]->strReplay, official));
    EXPECT_NE(alone[0], alone[1]);

    // Each thread re-runs the games in its own order, so that different
    // games overlap.
    std::atomic<int> nDiffer{0};
    const auto worker = [&](int nFirst) {
        for (int round = 0; round < 8; ++round) {
            for (int k = 0; k < 3; ++k) {
                const int i = (nFirst + k + round) % 3;
                if (Fingerprint(replay::VerifyReplay(games[i]->strReplay, official)) != alone[i])
                    ++nDiffer;
            }
        }
    };
    std::thread a(worker, 0);
    std::thread b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(nDiffer, 0);

    // The same through the checker's two workers.
    const auto checker = MakeChecker(2, 64);
    std::mutex m;
    int nVerified = 0;
    int nAnswered = 0;
    for (int n = 0; n < 12; ++n) {
        const SGame& g = *games[n % 3];
        checker->Check(g.strReplay, g.nLevel, g.nScore, [&](const SCheckResult& r) {
            const std::lock_guard<std::mutex> lock(m);
            ++nAnswered;
            nVerified += r.bVerified ? 1 : 0;
        });
    }
    for (int i = 0; i < 1200; ++i) {
        {
            const std::lock_guard<std::mutex> lock(m);
            if (nAnswered == 12)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(nAnswered, 12);
    EXPECT_EQ(nVerified, 12);
}

// A re-run on another thread leaves this thread's generator, clock and
// sound alone, and a game playing here does not lend it its sound device.
TEST_F(CheckTest, AReRunElsewhereLeavesThisThreadsGameAlone) {
    plat::CFakeClock clock(5000);
    const plat::CClockGuard guard(clock);
    plat::Srand(77);
    const bool bSilentBefore = plat::SetAudioSilent(false);
    std::vector<int> expected;
    for (int i = 0; i < 5; ++i)
        expected.push_back(plat::Rand());
    plat::Srand(77);
    std::thread other([] {
        std::string err;
        replay::SGeometry official;
        replay::OfficialGeometry(s_strBase, official, err);
        EXPECT_EQ(replay::VerifyReplay(s_short.strReplay, official).verdict,
                  replay::EVerdict::InStep);
    });
    other.join();
    std::vector<int> got;
    for (int i = 0; i < 5; ++i)
        got.push_back(plat::Rand());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(plat::GetTickCount(), 5000u);
    EXPECT_FALSE(plat::AudioSilent());
    plat::SetAudioSilent(bSilentBefore);
}

}  // namespace
