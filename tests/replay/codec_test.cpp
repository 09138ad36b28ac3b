// Replays tampered with, hostile bytes, and the folder the program keeps.
#include <ctime>
#include <fstream>

#include "platform/compress.h"
#include "replay/ReplayFiles.h"
#include "replay_fixture.h"

namespace replaytest {
namespace {

// A short game with points, recorded and decoded.
class TamperTest : public ReplayFixture {
protected:
    void SetUp() override {
        ReplayFixture::SetUp();
        OpenGame(1, 2024);
        SWanderer wanderer(11);
        wanderer.press = [this](unsigned key) { Press(key); };
        for (int i = 0; i < 2500 && Game() && Game()->m_nState != GS_GAMEOVER; ++i) {
            wanderer(*Game());
            Tick();
        }
        ASSERT_NE(Game(), nullptr);
        m_nScore = Game()->m_nScore;
        m_pHost->CloseSceen();
        m_strFile = m_pHost->m_strLastReplay;
        ASSERT_TRUE(Decode(m_strFile, m_decoded));
    }
    replay::SVerifyResult Verify(const std::string& file) {
        return replay::VerifyReplay(file, m_official);
    }
    // A released Space that fired the laser: the tick after it reads the
    // counter once more for each UFO the beam is tested against.
    size_t FindShot() {
        const auto& evs = m_decoded.arrEvents;
        for (size_t i = 0; i < evs.size(); ++i) {
            if (evs[i].kind != replay::EV_KEYUP || evs[i].nKey != plat::VK_SPACE ||
                evs[i].arrReads.empty())
                continue;
            size_t t = i + 1;
            while (t < evs.size() && evs[t].kind != replay::EV_TICK)
                ++t;
            if (t < evs.size() && evs[t].arrReads.size() > 1)
                return i;
        }
        ADD_FAILURE() << "no shot in the recording";
        return 0;
    }
    // Refused, or re-run to something that is not what the file claims.
    void ExpectNotAsClaimed(const SDecoded& d) {
        const replay::SVerifyResult r = Verify(Encode(d));
        EXPECT_NE(r.verdict, replay::EVerdict::InStep) << r.strReason;
    }

    int m_nScore = 0;
    std::string m_strFile;
    SDecoded m_decoded;
};

TEST_F(TamperTest, TheRecordingItselfIsInStepAndReEncodesToTheSameBytes) {
    ASSERT_GT(m_nScore, 0);
    const replay::SVerifyResult r = Verify(m_strFile);
    EXPECT_EQ(r.verdict, replay::EVerdict::InStep) << r.strReason;
    EXPECT_EQ(r.outcome.nScore, m_nScore);
    EXPECT_EQ(Encode(m_decoded), m_strFile);
}

TEST_F(TamperTest, EveryEditIsRefusedOrPlaysToAnotherOutcome) {
    const size_t shot = FindShot();
    {
        SCOPED_TRACE("a shot fired thirty calls later");
        SDecoded d = m_decoded;
        const SEvent ev = d.arrEvents[shot];
        d.arrEvents.erase(d.arrEvents.begin() + static_cast<std::ptrdiff_t>(shot));
        d.arrEvents.insert(d.arrEvents.begin() + static_cast<std::ptrdiff_t>(shot + 30), ev);
        ExpectNotAsClaimed(d);
    }
    {
        SCOPED_TRACE("the counter value the shot read");
        SDecoded d = m_decoded;
        d.arrEvents[shot].arrReads[0] += 5000;
        ExpectNotAsClaimed(d);
    }
    {
        SCOPED_TRACE("the random generator's state");
        SDecoded d = m_decoded;
        d.header.dwRandState ^= 0x5A5A;
        ExpectNotAsClaimed(d);
    }
    {
        SCOPED_TRACE("a tick more at the end");
        SDecoded d = m_decoded;
        d.arrEvents.push_back({replay::EV_TICK, 0, {}});
        ExpectNotAsClaimed(d);
    }
}

TEST_F(TamperTest, EachRefusalSaysWhy) {
    SDecoded d = m_decoded;
    d.header.geometry.pictures[1].cy += 1;
    replay::SVerifyResult r = Verify(Encode(d));
    EXPECT_EQ(r.verdict, replay::EVerdict::GeometryDiffers);
    EXPECT_EQ(r.strReason, "recorded with Fighter.kpg 40x51 (the game's is 40x50)");

    d = m_decoded;
    d.header.geometry.client = {800, 600};
    EXPECT_EQ(Verify(Encode(d)).verdict, replay::EVerdict::GeometryDiffers);

    d = m_decoded;
    d.header.strVersion = "0.9";
    r = Verify(Encode(d));
    EXPECT_EQ(r.verdict, replay::EVerdict::OtherVersion);
    EXPECT_NE(r.strReason.find("version 0.9"), std::string::npos);

    d = m_decoded;
    d.summary.nScore = 99990;
    r = Verify(Encode(d));
    EXPECT_EQ(r.verdict, replay::EVerdict::SummaryDiffers);
    EXPECT_EQ(r.outcome.nScore, m_nScore);

    for (const size_t cut : {size_t(1), size_t(40), m_strFile.size() / 2}) {
        r = Verify(m_strFile.substr(0, m_strFile.size() - cut));
        EXPECT_EQ(r.verdict, replay::EVerdict::Unreadable) << cut;
        EXPECT_EQ(r.readStatus, replay::EReadStatus::Truncated) << cut;
    }
}

TEST_F(TamperTest, ARenamedFileStillPlaysToItsOwnScore) {
    const fs::path claimed = m_strFolder + "/2026-01-01_00-00-00_game_99990.dzr";
    std::ofstream(claimed, std::ios::binary) << m_strFile;
    SVerifierRun run = RunVerifier(m_strBase, claimed.string());
    EXPECT_EQ(run.nStatus, 0);
    EXPECT_EQ(run.fields["score"], std::to_string(m_nScore));
}

TEST_F(TamperTest, TheVerifierSaysWhatIsWrongInItsExitStatus) {
    const fs::path dir = m_strBase + "/t";
    fs::create_directories(dir);
    SDecoded d = m_decoded;
    d.header.strVersion = "0.9";
    const std::pair<std::string, int> cases[] = {
        {m_strFile.substr(0, 30), 3}, {Encode(d), 4}, {"no replay at all", 3}};
    for (const auto& c : cases) {
        std::ofstream(dir / "f.dzr", std::ios::binary) << c.first;
        EXPECT_EQ(RunVerifier(m_strBase, (dir / "f.dzr").string()).nStatus, c.second);
    }
    EXPECT_EQ(RunVerifier(m_strBase, (dir / "missing.dzr").string()).nStatus, 1);
}

// ---- hostile bytes ----

std::string Framed(const std::string& data, uint32_t nClaimed, uint8_t format = replay::kFormat) {
    std::string packed;
    plat::Deflate(data, packed);
    std::string file(replay::kMagic, sizeof replay::kMagic);
    file += static_cast<char>(format);
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>((nClaimed >> (8 * i)) & 0xFF);
    return file + packed;
}
std::string Framed(const std::string& data) {
    return Framed(data, static_cast<uint32_t>(data.size()));
}

// A valid header: version, mode 2, client 732x570, four pictures, random state.
std::string Header() {
    const std::string v = replay::ProgramVersion();
    std::string h(1, static_cast<char>(v.size()));
    h += v;
    h += "\x02\xdc\x05\xba\x04(\x14(2\n2"
         "00";
    return h + std::string(4, '\0');
}

replay::EReadStatus Status(const std::string& file) {
    replay::CReplayReader reader;
    if (reader.Open(file) != replay::EReadStatus::Ok)
        return reader.Status();
    replay::EEvent kind;
    unsigned key = 0;
    while (reader.Next(kind, key)) {
    }
    return reader.Status();
}

TEST(ReplayReader, RefusesWhatIsNotAWholeReplay) {
    using S = replay::EReadStatus;
    const std::string end = std::string("\x07\x01\x00\x00", 4) + std::string(8, '\0');
    EXPECT_EQ(Status(Framed(Header() + end)), S::Ok);
    EXPECT_EQ(Status(""), S::NotReplay);
    EXPECT_EQ(Status("DZREPLAX" + std::string(20, '\0')), S::NotReplay);
    EXPECT_EQ(Status(Framed(Header() + end, 12, 2)), S::OtherFormat);
    EXPECT_EQ(Status(Framed(Header())), S::Truncated);               // no end
    EXPECT_EQ(Status(Framed(Header() + end + "x")), S::Damaged);     // after the end
    EXPECT_EQ(Status(Framed(Header() + end) + "x"), S::Damaged);     // after the stream
    EXPECT_EQ(Status(Framed(Header() + "\x06" + end)), S::Damaged);  // no such call
    EXPECT_EQ(Status(Framed(Header() + "\x09")), S::Truncated);      // a value missing
    EXPECT_EQ(Status(Framed(Header() + "\x03\xff\xff\xff\xff\x7f" + end)), S::Damaged);  // key
    EXPECT_EQ(Status(Framed(Header() + "\xf9\xff\xff\x7f" + end)), S::Damaged);          // reads
    std::string mode3 = Header();
    mode3[1 + mode3[0]] = 3;
    EXPECT_EQ(Status(Framed(mode3 + end)), S::Damaged);
    std::string bad = Framed(Header() + end);
    bad[bad.size() - 1] ^= 0x40;  // the zlib stream's check value
    EXPECT_EQ(Status(bad), S::Damaged);
}

TEST(ReplayReader, RefusesABombBeforeItGrows) {
    using S = replay::EReadStatus;
    // Ten megabytes of zeros that claim to be a hundred bytes.
    EXPECT_EQ(Status(Framed(std::string(10u << 20, '\0'), 100)), S::TooLarge);
    // A claim past the bound is refused without inflating anything.
    EXPECT_EQ(Status(Framed("x", static_cast<uint32_t>(replay::kMaxDataBytes + 1))), S::TooLarge);
    EXPECT_EQ(Status(std::string(replay::kMaxFileBytes + 1, 'x').replace(0, 9, "DZREPLAY\x01")),
              S::TooLarge);
}

// ---- the folder ----

class ReplayFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = ::testing::TempDir() + "doruzoro_replay_folder";
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    void Touch(const std::string& name) { std::ofstream(m_dir + "/" + name) << "x"; }
    bool Has(const std::string& name) const { return fs::exists(m_dir + "/" + name); }
    size_t Count() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }
    std::string m_dir;
};

TEST_F(ReplayFolderTest, NamesSayDateModeAndScore) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 7;
    t.tm_min = 43;
    t.tm_sec = 13;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    EXPECT_EQ(replay::ReplayFileName(when, 2, 1650), "2026-12-08_07-43-13_game_1650.dzr");
    EXPECT_EQ(replay::ReplayFileName(when, 1, 0, 2), "2026-12-08_07-43-13.2_tutorial_0.dzr");
    std::string a, b, err;
    ASSERT_TRUE(replay::SaveReplay(m_dir, "one", when, 2, 10, a, err)) << err;
    ASSERT_TRUE(replay::SaveReplay(m_dir, "two", when, 2, 10, b, err)) << err;
    EXPECT_NE(a, b);  // two games in one second keep both
    EXPECT_EQ(Count(), 2u);
}

TEST_F(ReplayFolderTest, KeepsTheLastFiftyAndTheBestOfEachMode) {
    for (int i = 0; i < 60; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "2026-01-01_00-%02d-00_game_%d.dzr", i, i == 3 ? 900 : i);
        Touch(name);
    }
    Touch("2025-01-01_00-00-00_tutorial_5.dzr");
    Touch("2025-06-01_00-00-00_tutorial_1.dzr");
    Touch("notes.txt");
    Touch(".2026-01-01_00-00-00_game_1.dzr.partial");  // a write in progress: too new to go
    replay::PruneReplays(m_dir);
    EXPECT_TRUE(Has("2026-01-01_00-03-00_game_900.dzr"));    // the best game
    EXPECT_TRUE(Has("2025-01-01_00-00-00_tutorial_5.dzr"));  // the best tutorial
    EXPECT_FALSE(Has("2025-06-01_00-00-00_tutorial_1.dzr"));
    EXPECT_FALSE(Has("2026-01-01_00-09-00_game_9.dzr"));
    EXPECT_TRUE(Has("2026-01-01_00-10-00_game_10.dzr"));
    EXPECT_TRUE(Has("notes.txt"));
    EXPECT_TRUE(Has(".2026-01-01_00-00-00_game_1.dzr.partial"));
    EXPECT_EQ(Count(), 50u + 2 + 2);
}

}  // namespace
}  // namespace replaytest
