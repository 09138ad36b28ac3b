// The game's own submission (upload, then the record naming it) against the
// real server, which re-plays the replay before the record counts: a real
// game is verified and ranked with its replay offered; forgeries, replays
// sent twice and hand-made records are stored unverified, ranked apart and
// answered with their reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "RawHttp.h"
#include "full_game.h"
#include "platform/audio.h"
#include "platform/digest.h"
#include "platform/msgbox.h"
#include "ranking/Ranking.h"
#include "recorded_game.h"
#include "server/RankServer.h"

namespace {

namespace fs = std::filesystem;
using rawhttp::Has;

class VerifiedTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        s_strBase = ::testing::TempDir() + "doruzoro_verified_test." + std::to_string(getpid());
        fs::remove_all(s_strBase);
        recorded::WritePictures(s_strBase);
        s_full = recorded::ShooterGame(s_strBase);
        // A shorter game: a player pressing keys at random.
        auto rng = std::make_shared<std::mt19937>(99);
        s_short = recorded::Record(
            s_strBase, 1, 777, [rng](const CSceenGame& g, const auto& press, uint32_t) {
                const unsigned keys[] = {plat::VK_LEFT, plat::VK_RIGHT, plat::VK_SPACE, 'Z'};
                if (g.m_nState == GS_PLAY && (*rng)() % 3 == 0)
                    press(keys[(*rng)() % 4]);
            });
    }
    static void TearDownTestSuite() {
        plat::SetMessageBoxHandler({});
        fs::remove_all(s_strBase);
    }

    void SetUp() override {
        ASSERT_GT(s_full.nScore, s_short.nScore);
        ASSERT_GT(s_short.nScore, 0);
        SServerOptions opt;
        opt.nPort = 0;
        opt.strDb = s_strBase + "/ranking.db";
        opt.strData = s_strBase;
        opt.nSubmitsPerMinute = 1000;
        std::string err;
        m_pServer = CRankServer::Start(opt, err);
        ASSERT_TRUE(m_pServer) << err;
        ranking::SetServerHost("127.0.0.1:" + std::to_string(m_pServer->Port()));
    }
    void TearDown() override {
        m_pServer.reset();
        ranking::SetServerHost("");
        for (const char* ext : {"", "-wal", "-shm"})
            fs::remove(s_strBase + "/ranking.db" + ext);
    }

    std::string Get(const std::string& target) const {
        return rawhttp::Get(m_pServer->Port(), target);
    }
    // An upload by hand: the answer's whole text.
    std::string Upload(const std::string& body) const {
        return rawhttp::Exchange(m_pServer->Port(),
                                 "POST /game/quibbix/Replay.asp HTTP/1.1\r\nHost: x\r\n"
                                 "Content-Length: " +
                                     std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                     body);
    }
    std::string Ranking() const { return Get("/game/quibbix/GameResult.asp?data=1"); }

    static std::string s_strBase;
    static recorded::SGame s_full;
    static recorded::SGame s_short;
    std::unique_ptr<CRankServer> m_pServer;
};

std::string VerifiedTest::s_strBase;
recorded::SGame VerifiedTest::s_full;
recorded::SGame VerifiedTest::s_short;

std::string NotVerified(const std::string& why) {
    return "Registered (not verified: " + why + ").";
}

TEST_F(VerifiedTest, AGameSentByTheGameIsVerifiedRankedAndOfferedOnce) {
    const int score = s_full.nScore;
    const std::string reply = ranking::SendRecord("Japan", "Ear", 1, score, s_full.strReplay);
    EXPECT_EQ(reply.rfind("Registered.\nScore " + std::to_string(score) + "\nRank 1 of 1\r\n", 0),
              0u)
        << reply;
    const std::string page = Ranking();
    EXPECT_TRUE(Has(page, "<td>1</td><td>Ear</td><td>Japan</td><td>" + std::to_string(score)))
        << page;
    ASSERT_TRUE(Has(page, "Replay.asp?id=1")) << page;
    const std::string download = Get("/game/quibbix/Replay.asp?id=1");
    EXPECT_TRUE(Has(download, "Content-Type: application/octet-stream")) << download;
    EXPECT_EQ(download.substr(download.find("\r\n\r\n") + 4), s_full.strReplay);
    // The area counts it; the same replay under another name verifies nothing.
    EXPECT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=2"), "<td>Japan</td>"));
    EXPECT_TRUE(Has(ranking::SendRecord("Japan", "Thief", 1, score, s_full.strReplay),
                    NotVerified("the replay was already sent with another record")));
    const std::string after = Ranking();
    EXPECT_LT(after.find("Unverified records"), after.find("<td>Thief</td>")) << after;
    EXPECT_TRUE(Has(Get("/game/quibbix/Replay.asp?id=2"), " 404 "));
}

TEST_F(VerifiedTest, ClaimsTheReplayDoesNotBackAreStoredUnverifiedAndRankedBelow) {
    struct SCase {
        const char* szName;
        int nLevel;
        int nScore;
        std::string strReplay;
        std::string strWhy;
    };
    replaytest::SDecoded edited;
    ASSERT_TRUE(replaytest::Decode(s_full.strReplay, edited));
    edited.summary.nScore += 1000;
    const SCase cases[] = {
        // A shorter game's replay sent with a longer game's score.
        {"Longer", 1, s_full.nScore, s_short.strReplay, "the replay does not reach this score"},
        {"Hand", 1, 999999, "", "no replay came with it"},
        {"Tutor", 0, s_full.nScore, s_full.strReplay, "the replay is of another mode"},
        {"Raised", 1, s_full.nScore + 1000, replaytest::Encode(edited),
         "the replay does not run in step"},
        {"Higher", 1, s_full.nScore + 10, s_full.strReplay, "the replay does not reach this score"},
    };
    for (const SCase& c : cases)
        EXPECT_TRUE(Has(ranking::SendRecord("", c.szName, c.nLevel, c.nScore, c.strReplay),
                        NotVerified(c.strWhy)))
            << c.szName;
    // A refused claim leaves the replay to the record it belongs to.
    EXPECT_TRUE(Has(ranking::SendRecord("", "Short", 1, s_short.nScore, s_short.strReplay),
                    "Registered.\n"));
    const std::string fresh = ranking::SendRecord("", "Fresh", 1, s_full.nScore, s_full.strReplay);
    EXPECT_TRUE(Has(fresh, "Registered.\n")) << fresh;
    const std::string page = Ranking();
    const size_t apart = page.find("Unverified records");
    EXPECT_LT(page.find("<td>Short</td>"), apart);
    EXPECT_LT(page.find("<td>Fresh</td>"), page.find("<td>Short</td>"));
    for (const char* name : {"<td>Hand</td>", "<td>Raised</td>", "<td>Higher</td>"})
        EXPECT_GT(page.find(name), apart) << name;
    EXPECT_EQ(page.find("<td>Tutor</td>"), std::string::npos);  // the tutorial ranks apart
}

TEST_F(VerifiedTest, UploadsThatAreNoReplayAreRefusedAndNamingThemVerifiesNothing) {
    std::string noise(2000, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 131 + 7);
    EXPECT_TRUE(Has(Upload(noise), "this is not a replay")) << Upload(noise);
    EXPECT_TRUE(Has(ranking::SendRecord("", "Noise", 1, 10, noise),
                    NotVerified("its replay did not arrive")));
    // Over the front's cap: refused before it is read.
    EXPECT_TRUE(Has(Upload(std::string(300 * 1024, 'x')), " 413 "));
    // A bomb: a small file that claims and inflates to 32 MiB of zeros.
    const std::string zeros(replay::kMaxDataBytes, '\0');
    const std::string bomb = recorded::Framed(zeros, static_cast<uint32_t>(zeros.size()));
    EXPECT_TRUE(Has(Upload(bomb), "Stored " + plat::Sha256Hex(bomb)));
    EXPECT_TRUE(
        Has(ranking::SendRecord("", "Bomb", 1, 0, bomb), NotVerified("the replay is too long")));
    // A key that names no replay's hash at all.
    EXPECT_TRUE(Has(Get("/game/quibbix/GameSet.asp?aria=&name=K&mode=0&level=1&score=1&replay=zz"),
                    NotVerified("the replay key is not a replay's name") + "<P>"));
    // The server still serves, and nothing of this is verified.
    const std::string page = Ranking();
    EXPECT_GT(page.find("<td>Noise</td>"), page.find("Unverified records")) << page;
    EXPECT_EQ(page.find("Replay.asp"), std::string::npos);
}

// A copy of the top game is the same game, however it is packed: compressed
// otherwise it verifies nothing more, and with a number written long it is
// no replay at all.
TEST_F(VerifiedTest, ACopyOfAVerifiedGameVerifiesNothingUnderAnotherName) {
    const int score = s_full.nScore;
    EXPECT_TRUE(
        Has(ranking::SendRecord("Japan", "Ear", 1, score, s_full.strReplay), "Registered.\n"));
    const std::string data = recorded::DataOf(s_full.strReplay);
    const std::string stored = recorded::Stored(data);
    ASSERT_NE(stored, s_full.strReplay);
    EXPECT_TRUE(Has(ranking::SendRecord("Japan", "Repacked", 1, score, stored),
                    NotVerified("the replay was already sent with another record")));
    std::string longer = data;
    longer.replace(0, 1, std::string(1, static_cast<char>(data[0] | 0x80)) + std::string(1, '\0'));
    const std::string longFile = recorded::Framed(longer, static_cast<uint32_t>(longer.size()));
    EXPECT_TRUE(Has(ranking::SendRecord("Japan", "Long", 1, score, longFile),
                    NotVerified("the replay is damaged or not a replay")));
    const std::string page = Ranking();
    const size_t apart = page.find("Unverified records");
    EXPECT_LT(page.find("<td>Ear</td>"), apart) << page;
    EXPECT_GT(page.find("<td>Repacked</td>"), apart) << page;
    EXPECT_GT(page.find("<td>Long</td>"), apart) << page;
    EXPECT_TRUE(Has(Get("/game/quibbix/Replay.asp?id=1"), s_full.strReplay));
}

}  // namespace
