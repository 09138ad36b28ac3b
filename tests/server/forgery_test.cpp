// Replays forged the way an uploader can forge them, beside the honest games
// they are made from: a copy compressed otherwise holds the same game, a
// number written long is refused, a counter that stands, runs back or races
// ahead of the ticks is refused, and so is a game without its paints; a game
// played on a straying timer or in a minimised window is verified.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "full_game.h"
#include "platform/audio.h"
#include "platform/compress.h"
#include "platform/digest.h"
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
using replaytest::SEvent;

void Shooter(const CSceenGame& g, const std::function<void(unsigned)>& press, uint32_t) {
    if (g.m_nState == GS_PLAY)
        replaytest::ScriptedShooter(g, replaytest::kHostKeyTolerance, press);
}

class ForgeryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        s_strBase = ::testing::TempDir() + "doruzoro_forgery_test." + std::to_string(getpid());
        fs::remove_all(s_strBase);
        recorded::WritePictures(s_strBase);
        s_full = Record(s_strBase, 1, 20261208, Shooter);
    }
    static void TearDownTestSuite() {
        plat::SetMessageBoxHandler({});
        fs::remove_all(s_strBase);
    }
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(replay::OfficialGeometry(s_strBase, m_official, err)) << err;
        m_pChecker = CReplayChecker::Create(m_official, 1, 4, SCheckLimits(), err);
        ASSERT_TRUE(m_pChecker) << err;
    }
    SCheckResult Check(const std::string& file, int nScore) const {
        return m_pChecker->CheckNow(file, 1, nScore);
    }
    static std::string Edited(const std::function<void(SDecoded&)>& edit) {
        SDecoded d;
        EXPECT_TRUE(Decode(s_full.strReplay, d));
        edit(d);
        return Encode(d);
    }
    static std::string s_strBase;
    static SGame s_full;
    replay::SGeometry m_official;
    std::unique_ptr<CReplayChecker> m_pChecker;
};

std::string ForgeryTest::s_strBase;
SGame ForgeryTest::s_full;

void ExpectRefused(const SCheckResult& r, const char* pReason) {
    EXPECT_FALSE(r.bVerified);
    EXPECT_EQ(r.strReason, pReason);
}

TEST_F(ForgeryTest, ACopyCompressedOtherwiseIsTheSameGameAndALongNumberIsRefused) {
    const SCheckResult original = Check(s_full.strReplay, s_full.nScore);
    ASSERT_TRUE(original.bVerified) << original.strReason;
    ASSERT_EQ(original.strGameDigest.size(), 64u);
    const std::string data = recorded::DataOf(s_full.strReplay);
    const std::string stored = recorded::Stored(data);
    ASSERT_NE(plat::Sha256Hex(stored), plat::Sha256Hex(s_full.strReplay));
    const SCheckResult copy = Check(stored, s_full.nScore);
    EXPECT_TRUE(copy.bVerified) << copy.strReason;
    EXPECT_EQ(copy.strGameDigest, original.strGameDigest);
    // The summary is no part of the game: a false one is refused, same game.
    const SCheckResult raised =
        Check(Edited([](SDecoded& d) { d.summary.nScore += 1000; }), s_full.nScore + 1000);
    ExpectRefused(raised, checkreason::kNotInStep);
    EXPECT_EQ(raised.strGameDigest, original.strGameDigest);
    // Another game has another digest.
    const SCheckResult other = Check(Edited([](SDecoded& d) {
                                         d.arrEvents.push_back({replay::EV_KEYUP, 'A', {}});
                                     }),
                                     0);
    EXPECT_NE(other.strGameDigest, original.strGameDigest);
    EXPECT_EQ(other.strGameDigest.size(), 64u);

    // The version's length (7) written as 87 00: the same numbers, refused.
    ASSERT_EQ(static_cast<uint8_t>(data[0]), std::strlen(replay::ProgramVersion()));
    std::string longer = data;
    longer.replace(0, 1, std::string("\x87\x00", 2));
    const std::string longFile = recorded::Framed(longer, static_cast<uint32_t>(longer.size()));
    replay::CReplayReader reader;
    EXPECT_EQ(reader.Open(longFile), replay::EReadStatus::Damaged);
    const SCheckResult refused = Check(longFile, s_full.nScore);
    ExpectRefused(refused, checkreason::kDamaged);
    EXPECT_TRUE(refused.strGameDigest.empty());
}

// The first shot of the game: the event and the value it fired at.
size_t FirstShot(const SDecoded& d, uint32_t& dwFire) {
    for (size_t i = 0; i < d.arrEvents.size(); ++i) {
        const SEvent& ev = d.arrEvents[i];
        if (ev.kind == replay::EV_KEYUP && ev.nKey == plat::VK_SPACE && !ev.arrReads.empty()) {
            dwFire = ev.arrReads.back();
            return i;
        }
    }
    ADD_FAILURE() << "no shot";
    return 0;
}

std::string Why(const std::string& file, const replay::SGeometry& official) {
    return replay::VerifyReplay(file, official).strReason;
}

TEST_F(ForgeryTest, ACounterThatStandsAtTheShotOrFeedsItToTheLaserIsRefused) {
    // From the first shot on, every value is the time it was fired at.
    const std::string standing = Edited([](SDecoded& d) {
        uint32_t dwFire = 0;
        for (size_t i = FirstShot(d, dwFire) + 1; i < d.arrEvents.size(); ++i)
            std::fill(d.arrEvents[i].arrReads.begin(), d.arrEvents[i].arrReads.end(), dwFire);
    });
    ExpectRefused(Check(standing, s_full.nScore), checkreason::kBadClock);
    EXPECT_NE(Why(standing, m_official).find("before the 100 ms timer would have ticked"),
              std::string::npos)
        << Why(standing, m_official);
    // The ticks go on, but each check inside them is fed the fire time.
    const std::string fed = Edited([](SDecoded& d) {
        uint32_t dwFire = 0;
        for (size_t i = FirstShot(d, dwFire) + 1; i < d.arrEvents.size(); ++i) {
            SEvent& ev = d.arrEvents[i];
            if (ev.kind == replay::EV_TICK && ev.arrReads.size() > 1)
                std::fill(ev.arrReads.begin() + 1, ev.arrReads.end(), dwFire);
        }
    });
    ExpectRefused(Check(fed, s_full.nScore), checkreason::kBadClock);
    EXPECT_NE(Why(fed, m_official).find("reads the counter back"), std::string::npos)
        << Why(fed, m_official);
}

TEST_F(ForgeryTest, ACounterRacingAheadOfTheTicksIsRefused) {
    // Every value advanced, as if each tick stood for much more time: the
    // laser recharges and the UFOs come sooner, tick for tick.
    for (const uint32_t nTimes : {20u, 3u}) {
        const std::string racing = Edited([nTimes](SDecoded& d) {
            const uint32_t base = d.arrEvents[0].arrReads[0];
            for (SEvent& ev : d.arrEvents) {
                for (uint32_t& v : ev.arrReads)
                    v = base + (v - base) * nTimes;
            }
        });
        ExpectRefused(Check(racing, s_full.nScore), checkreason::kBadClock);
        EXPECT_NE(
            Why(racing, m_official).find("later than the timer and the game's pauses explain"),
            std::string::npos)
            << Why(racing, m_official);
    }
    // A timer twice as fast as the host's.
    const SGame fast = Record(s_strBase, 1, 20261208, Shooter, {[](int) { return 50u; }, nullptr});
    ExpectRefused(Check(fast.strReplay, fast.nScore), checkreason::kBadClock);
}

TEST_F(ForgeryTest, AGameWithoutItsPaintsIsRefused) {
    const std::string none = Edited([](SDecoded& d) {
        d.arrEvents.erase(
            std::remove_if(d.arrEvents.begin(), d.arrEvents.end(),
                           [](const SEvent& ev) { return ev.kind == replay::EV_DRAW; }),
            d.arrEvents.end());
    });
    ExpectRefused(Check(none, s_full.nScore), checkreason::kPaintsMissing);
    // Without the paints of a stretch in the middle, as the host left them
    // out while its window was minimised.
    const std::string stretch = Edited([](SDecoded& d) {
        const auto from = d.arrEvents.begin() + static_cast<long>(d.arrEvents.size() / 2);
        d.arrEvents.erase(
            std::remove_if(from, from + 300,
                           [](const SEvent& ev) { return ev.kind == replay::EV_DRAW; }),
            from + 300);
    });
    ExpectRefused(Check(stretch, s_full.nScore), checkreason::kPaintsMissing);
    EXPECT_NE(Why(stretch, m_official).find("no paint came"), std::string::npos);
}

TEST_F(ForgeryTest, AGameOnAStrayingTimerIsVerified) {
    // Late by up to 9 ms a tick (a real one was 1 ms late on average on a
    // loaded machine); now and then a tick whose callback started 60 ms
    // late, followed by one on time; a stall of most of a second.
    auto rng = std::make_shared<std::mt19937>(3);
    const auto gaps = [rng](int n) -> uint32_t {
        if (n % 500 == 499)
            return 900;
        if (n % 200 == 150)
            return 160;
        if (n % 200 == 151)
            return 40;
        return 100 + (*rng)() % 10;
    };
    const SGame stray = Record(s_strBase, 1, 20261208, Shooter, {gaps, nullptr});
    ASSERT_FALSE(stray.strReplay.empty());
    const SCheckResult r = Check(stray.strReplay, stray.nScore);
    EXPECT_TRUE(r.bVerified) << Why(stray.strReplay, m_official);
}

// The barrier raised now and then, beside the shooter; fnSeen sees how long
// each raised barrier has stood at every tick.
recorded::Player BarrierPlayer(const std::shared_ptr<uint32_t>& pLongest) {
    return
        [pLongest](const CSceenGame& g, const std::function<void(unsigned)>& press, uint32_t now) {
            if (g.m_nState == GS_PLAY && g.m_barrier.nState == OS_ON)
                *pLongest = std::max(*pLongest, now - g.m_barrier.dwStartTime);
            Shooter(g, press, now);
            if (g.m_nState == GS_PLAY && now % 7000 == 0)
                press('Z');
        };
}

// The host as it was: no paint at all while the window is an icon.
class CSkippingHost : public recorded::CMinimisedHost {
public:
    void OnPaint() override {}
};

TEST_F(ForgeryTest, AGamePlayedMinimisedEndsItsBarrierOnTimeAndIsVerified) {
    auto pLongest = std::make_shared<uint32_t>(0);
    const SGame minimised =
        Record(s_strBase, 1, 20261208, BarrierPlayer(pLongest), {nullptr, recorded::MinimisedHost});
    ASSERT_FALSE(minimised.strReplay.empty());
    EXPECT_GT(*pLongest, 2000u);  // the barrier was up
    EXPECT_LT(*pLongest, kBarrierDurationMs);
    const SCheckResult r = Check(minimised.strReplay, minimised.nScore);
    EXPECT_TRUE(r.bVerified) << r.strReason;

    // Skipping the paints kept the barrier up for good, and the checker
    // refuses such a game.
    auto pStuck = std::make_shared<uint32_t>(0);
    const SGame skipped =
        Record(s_strBase, 1, 20261208, BarrierPlayer(pStuck),
               {nullptr, [] { return std::unique_ptr<CDoruzorODlg>(new CSkippingHost()); }});
    EXPECT_GT(*pStuck, 4 * kBarrierDurationMs);
    ExpectRefused(Check(skipped.strReplay, skipped.nScore), checkreason::kPaintsMissing);
}

uint64_t ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

// The costliest upload the limits let through: a real game of as many events
// as a check takes, the most UFOs of a stage flying at every tick of it. It
// is checked whole within its deadline; a deadline below what it costs
// refuses it with its own reason.
TEST_F(ForgeryTest, TheCostliestUploadIsCheckedWithinItsDeadline) {
    const SCheckLimits limits;
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    CDoruzorODlg host;
    host.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                           [] { return std::make_unique<CSceenGame>(); });
    host.m_strBasePath = s_strBase;
    host.m_strReplayFolder = s_strBase + "/replays";
    size_t nMostUfos = 0;
    const std::string crowded =
        replaytest::PlayCrowdedGame(host, clock, 20261208, limits.nMaxEvents, &nMostUfos);
    EXPECT_GE(nMostUfos, 25u);
    const replay::SVerifyResult v = replay::VerifyReplay(crowded, m_official);
    ASSERT_EQ(v.verdict, replay::EVerdict::InStep) << v.strReason;
    EXPECT_EQ(v.outcome.nStage, kLastStage);
    EXPECT_GT(v.nEvents, limits.nMaxEvents * 9 / 10);
    EXPECT_LE(v.nEvents, limits.nMaxEvents);

    const uint64_t nStartUs = ThreadCpuUs();
    const SCheckResult r = m_pChecker->CheckNow(crowded, 1, v.outcome.nScore);
    const uint64_t nSpentUs = ThreadCpuUs() - nStartUs;
    EXPECT_TRUE(r.bVerified) << r.strReason;
    EXPECT_LE(nSpentUs, limits.nCpuMs * 1000u) << "microseconds of processor time";
    std::printf("the costliest upload took %.1f ms of processor time\n", nSpentUs / 1000.0);

    SCheckLimits tight;
    tight.nCpuMs = 1;
    std::string err;
    const auto pTight = CReplayChecker::Create(m_official, 1, 1, tight, err);
    ExpectRefused(pTight->CheckNow(crowded, 1, v.outcome.nScore), checkreason::kTooCostly);
}

}  // namespace
