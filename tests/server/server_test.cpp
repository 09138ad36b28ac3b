// The reference ranking server in-process on a free loopback port.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "http/KoruHttpConnect.h"
#include "server/RankServer.h"

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_opt.nPort = 0;
        m_opt.strDb = ::testing::TempDir() + "rank_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        std::filesystem::remove(m_opt.strDb);
        Restart();
    }
    void TearDown() override {
        m_pServer.reset();
        for (const char* ext : {"", "-wal", "-shm"})
            std::filesystem::remove(m_opt.strDb + ext);
    }
    void Restart() {
        m_pServer.reset();
        std::string err;
        m_pServer = CRankServer::Start(m_opt, err);
        ASSERT_TRUE(m_pServer) << err;
        m_opt.nPort = m_pServer->Port();
    }
    // The page as the game reads it: lines joined.
    std::string Get(const std::string& path) {
        CKoruHttpConnect http;
        http.GetPage("http://127.0.0.1:" + std::to_string(m_pServer->Port()) + path, "", "");
        std::string s;
        for (const auto& l : http.m_arrLines)
            s += l;
        return s;
    }
    std::string Submit(const std::string& query) {
        return Get("/game/quibbix/GameSet.asp?" + query);
    }
    // A request written by hand, for headers the game never sends.
    std::string Raw(const std::string& request) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(m_pServer->Port());
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string reply;
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            char buf[4096];
            for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;)
                reply.append(buf, static_cast<size_t>(n));
        }
        close(fd);
        return reply;
    }
    std::string SubmitFrom(const std::string& realIp) {
        return Raw(
            "GET /game/quibbix/GameSet.asp?aria=&name=p&mode=0&level=1&score=1 HTTP/1.1\r\n"
            "Host: x\r\nConnection: close\r\nX-Real-IP: " +
            realIp + "\r\n\r\n");
    }

    SServerOptions m_opt;
    std::unique_ptr<CRankServer> m_pServer;
};

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ServerTest, ValidRecordStoredRankedAndListedEscaped) {
    const std::string reply =
        Submit("aria=Japan&name=A%20%26%3D%3Cscript%3E%E6%97%A5&mode=0&level=1&score=150");
    EXPECT_TRUE(Has(reply, "Registered.<P>Score 150<P>Rank 1 of 1")) << reply;
    EXPECT_LT(reply.find("<!-- DATA_START"), reply.find("Registered"));
    Submit("aria=&name=B&mode=0&level=1&score=300");
    const std::string best = Get("/game/quibbix/GameResult.asp?data=1");
    EXPECT_TRUE(Has(best, "<td>A &amp;=&lt;script&gt;\xE6\x97\xA5</td>")) << best;
    EXPECT_FALSE(Has(best, "<script>"));
    EXPECT_LT(best.find("<td>B</td>"), best.find("<td>A &amp;"));  // higher score first
    // Without a verified replay the record ranks apart and makes no area's total.
    EXPECT_FALSE(Has(Get("/game/quibbix/GameResult.asp?data=2"), "<td>Japan</td>"));
    EXPECT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=2&aria=Japan"), "<td>150</td>"));
}

TEST_F(ServerTest, BadRecordsAnsweredBetweenTheMarkersAndNotStored) {
    for (const char* q :
         {"name=x&mode=0&level=1&score=10", "aria=Mars&name=x&mode=0&level=1&score=10",
          "aria=&name=&mode=0&level=1&score=10", "aria=&name=x&mode=1&level=1&score=10",
          "aria=&name=x&mode=0&level=7&score=10", "aria=&name=x&mode=0&level=1&score=-5",
          "aria=&name=x&mode=0&level=1&score=99999999", "aria=&name=%01&mode=0&level=1&score=10",
          "aria=&name=%FF%FE&mode=0&level=1&score=10", "aria=&name=x&mode=0&level=1&score=%FF1",
          "aria=&name=x&mode=0&level=%B9&score=1"}) {
        EXPECT_TRUE(Has(Submit(q), "Not registered")) << q;
    }
    EXPECT_FALSE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<td>x</td>"));
}

TEST_F(ServerTest, LimitsForThePublic) {
    m_opt.nSubmitsPerMinute = 2;
    Restart();
    EXPECT_TRUE(Has(Submit("aria=&name=a&mode=0&level=1&score=10"), "Registered"));
    EXPECT_TRUE(Has(Submit("aria=&name=a&mode=0&level=1&score=10"), "Registered"));
    EXPECT_TRUE(Has(Submit("aria=&name=a&mode=0&level=1&score=10"), "too many"));
    const std::string longUri = "/game/quibbix/GameResult.asp?data=1&x=" + std::string(9000, 'a');
    CKoruHttpConnect http;
    http.GetPage("http://127.0.0.1:" + std::to_string(m_pServer->Port()) + longUri, "", "");
    std::string all;
    for (const auto& l : http.m_arrLines)
        all += l;
    EXPECT_TRUE(Has(all, "414") || Has(all, "too long")) << all;
    http.GetPage("http://127.0.0.1:" + std::to_string(m_pServer->Port()) +
                     "/game/quibbix/GameResult.asp?data=1",
                 "a=b", "");  // a POST
    all.clear();
    for (const auto& l : http.m_arrLines)
        all += l;
    EXPECT_TRUE(Has(all, "Only GET")) << all;
}

TEST_F(ServerTest, RecordsSurviveARestart) {
    Submit("aria=&name=kept&mode=0&level=1&score=20");
    Restart();
    EXPECT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<td>kept</td>"));
}

TEST_F(ServerTest, BehindAProxyEachPlayerHasOwnSubmissionLimit) {
    m_opt.nSubmitsPerMinute = 1;
    m_opt.bBehindProxy = true;
    Restart();
    EXPECT_TRUE(Has(SubmitFrom("203.0.113.5"), "Registered"));
    EXPECT_TRUE(Has(SubmitFrom("203.0.113.5"), "too many"));
    EXPECT_TRUE(Has(SubmitFrom("2001:db8::7"), "Registered"));
    // Not an address: counted as the proxy itself.
    EXPECT_TRUE(Has(SubmitFrom("x, 1.2.3.4"), "Registered"));
    EXPECT_TRUE(Has(SubmitFrom("<junk>"), "too many"));
}

TEST_F(ServerTest, WithoutAProxyTheHeaderIsNotBelieved) {
    m_opt.nSubmitsPerMinute = 1;
    Restart();
    EXPECT_TRUE(Has(SubmitFrom("203.0.113.5"), "Registered"));
    EXPECT_TRUE(Has(SubmitFrom("203.0.113.6"), "too many"));
}

TEST_F(ServerTest, LogLineCannotBeForgedByTheRequest) {
    ::testing::internal::CaptureStderr();
    Raw("GET /a%0A127.0.0.1%20GET%20/forged%20200 HTTP/1.1\r\nHost: x\r\nConnection: "
        "close\r\n\r\n");
    m_pServer.reset();  // the line is written before the reply; stopping joins the thread
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(log, "/a\\x0A127.0.0.1 GET /forged 200 404")) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}
