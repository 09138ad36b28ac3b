// The limits per address of the real server, in-process behind a proxy on
// the loopback that names each player (X-Real-IP): an IPv6 player counted
// by its /64, the bytes of uploads a day, and a flood of records naming one
// costly replay with a score it never reaches, which must not keep another
// player's game from its check.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RawHttp.h"
#include "full_game.h"
#include "platform/audio.h"
#include "platform/digest.h"
#include "platform/fake_clock.h"
#include "platform/msgbox.h"
#include "ranking/Ranking.h"
#include "recorded_game.h"
#include "server/RankServer.h"
#include "server/RankStore.h"
#include "server/RecordRules.h"

namespace {

namespace fs = std::filesystem;
using rawhttp::Has;

TEST(LimitKeyTest, AnIPv6PlayerIsCountedByItsSlash64) {
    EXPECT_EQ(LimitKey("192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(LimitKey("2001:db8:1:2:3:4:5:6"), "2001:db8:1:2::/64");
    EXPECT_EQ(LimitKey("2001:db8:1:2:ffff:ffff:ffff:ffff"), "2001:db8:1:2::/64");
    EXPECT_NE(LimitKey("2001:db8:1:3::1"), LimitKey("2001:db8:1:2::1"));
    EXPECT_EQ(LimitKey("::1"), "::/64");
    EXPECT_EQ(LimitKey("::ffff:192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(LimitKey("not an address"), "not an address");
    EXPECT_EQ(LimitKey(""), "");
}

class LimitsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        s_strBase = ::testing::TempDir() + "doruzoro_limits_test." + std::to_string(getpid());
        fs::remove_all(s_strBase);
        recorded::WritePictures(s_strBase);
        s_full = recorded::ShooterGame(s_strBase);
    }
    static void TearDownTestSuite() {
        plat::SetMessageBoxHandler({});
        fs::remove_all(s_strBase);
    }
    void TearDown() override {
        m_pServer.reset();
        ranking::SetServerHost("");
        for (const char* ext : {"", "-wal", "-shm"})
            fs::remove(s_strBase + "/ranking.db" + ext);
    }
    void Start(int nPerMinute) {
        SServerOptions opt;
        opt.nPort = 0;
        opt.strDb = s_strBase + "/ranking.db";
        opt.strData = s_strBase;
        opt.nSubmitsPerMinute = nPerMinute;
        opt.setTrustedProxies = {"127.0.0.1"};
        std::string err;
        m_pServer = CRankServer::Start(opt, err);
        ASSERT_TRUE(m_pServer) << err;
        ranking::SetServerHost("127.0.0.1:" + std::to_string(m_pServer->Port()));
    }
    uint16_t Port() const { return m_pServer->Port(); }
    static std::string As(const std::string& player) { return "X-Real-IP: " + player + "\r\n"; }
    std::string Record(const std::string& player, int score) const {
        return rawhttp::Get(
            Port(),
            "/game/quibbix/GameSet.asp?aria=&name=p&mode=0&level=1&score=" + std::to_string(score),
            As(player));
    }
    static std::string UploadRequest(const std::string& body, const std::string& player) {
        return "POST /game/quibbix/Replay.asp HTTP/1.1\r\nHost: x\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n" + As(player) + "Connection: close\r\n\r\n" +
               body;
    }
    std::string Upload(const std::string& body, const std::string& player) const {
        return rawhttp::Exchange(Port(), UploadRequest(body, player));
    }

    static std::string s_strBase;
    static recorded::SGame s_full;
    std::unique_ptr<CRankServer> m_pServer;
};

std::string LimitsTest::s_strBase;
recorded::SGame LimitsTest::s_full;

const char* const kTooMany = "too many records from your address";

TEST_F(LimitsTest, TheAddressesOfOneSlash64ShareTheirLimit) {
    Start(2);
    EXPECT_FALSE(Has(Record("2001:db8:5:6::1", 1), kTooMany));
    EXPECT_FALSE(Has(Record("2001:db8:5:6:aaaa::2", 2), kTooMany));
    EXPECT_TRUE(Has(Record("2001:db8:5:6:ffff:ffff:ffff:ffff", 3), kTooMany));
    // The next /64 is another player's.
    EXPECT_FALSE(Has(Record("2001:db8:5:7::1", 4), kTooMany));
    EXPECT_FALSE(Has(Record("192.0.2.1", 5), kTooMany));
}

// Bytes of replays a day: past them an upload is refused with 429, another
// address still uploads, and a replay already there is no new byte.
TEST_F(LimitsTest, AnAddressUploadsABoundedNumberOfBytesADay) {
    Start(100);
    constexpr size_t kBody = 256 * 1024;
    constexpr int64_t kFit = CRankStore::kUploadBytesPerDay / static_cast<int64_t>(kBody);
    std::string first;
    for (int64_t i = 0; i < kFit; ++i) {
        std::string body(kBody, static_cast<char>('a' + i % 26));
        std::copy(std::begin(replay::kMagic), std::end(replay::kMagic), body.begin());
        body[8] = static_cast<char>(i);
        if (i == 0)
            first = body;
        ASSERT_TRUE(Has(Upload(body, "198.51.100.20"), " 200 ")) << i;
    }
    std::string more = first;
    more[9] = 'x';
    const std::string refused = Upload(more, "198.51.100.20");
    EXPECT_TRUE(Has(refused, " 429 ")) << refused;
    EXPECT_TRUE(Has(refused,
                    "Not stored: too many replay bytes from your address today. Try again "
                    "tomorrow."))
        << refused;
    EXPECT_TRUE(Has(Upload(first, "198.51.100.20"), "Stored " + plat::Sha256Hex(first)));
    EXPECT_TRUE(Has(Upload(more, "198.51.100.21"), " 200 "));
}

// One player uploads a costly replay and names it by a flood of records
// with a score it never reaches; each would be re-played whole. Their
// checks count against their address before they run, so the queue never
// fills and another player's record is checked and verified meanwhile.
TEST_F(LimitsTest, AFloodOfFailingChecksFromOneAddressLeavesOthersTheirCheck) {
    const std::string crowded = recorded::CrowdedGame(s_strBase, s_strBase + "/replays", 200000);
    Start(10);
    const std::string flooder = "203.0.113.9";
    ASSERT_TRUE(Has(Upload(crowded, flooder), "Stored ")) << Upload(crowded, flooder);
    std::atomic<int> nLimited{0}, nAnswered{0};
    int n = 0;
    rawhttp::CFlood flood(
        Port(), 200,
        [&] {  // never the same request twice: each is a record of its own
            return "GET /game/quibbix/GameSet.asp?aria=&name=Flood" + std::to_string(++n) +
                   "&mode=0&level=1&score=7&replay=" + plat::Sha256Hex(crowded) +
                   " HTTP/1.1\r\nHost: x\r\n" + As(flooder) + "Connection: close\r\n\r\n";
        },
        [&](const std::string& answer) {
            ++nAnswered;
            nLimited += Has(answer, kTooMany) ? 1 : 0;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string reply =
        ranking::SendRecord("Japan", "Honest", 1, s_full.nScore, s_full.strReplay);
    flood.Stop();
    EXPECT_EQ(reply.rfind("Registered.\n", 0), 0u) << reply;
    EXPECT_GT(nLimited.load(), 0);
    EXPECT_GT(nAnswered.load(), nLimited.load());
    // At most the limit's records of the flood were checked and stored.
    const std::string page = rawhttp::Get(Port(), "/game/quibbix/GameResult.asp?data=0");
    size_t nStored = 0;
    for (size_t at = page.find("<td>Flood"); at != std::string::npos;
         at = page.find("<td>Flood", at + 1))
        ++nStored;
    EXPECT_LE(nStored, 10u);
    EXPECT_GT(nStored, 0u);
}

}  // namespace
