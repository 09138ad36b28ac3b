// The reference ranking server in-process on a free loopback port.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <thread>

#include <zlib.h>

#include "http/KoruHttpConnect.h"
#include "server/RankServer.h"
#include "server/RankStore.h"
#include "server/SqlConn.h"
#include "tests/server/RawHttp.h"
#include "tests/support/PgCluster.h"

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
        return Raw("GET /game/quibbix/GameSet.asp?aria=&name=p&mode=0&level=1&score=" +
                   std::to_string(++m_nSent) +  // never the same request twice
                   " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nX-Real-IP: " + realIp +
                   "\r\n\r\n");
    }

    SServerOptions m_opt;
    std::unique_ptr<CRankServer> m_pServer;
    int m_nSent = 0;
};

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ServerTest, ValidRecordStoredRankedAndListedEscaped) {
    const std::string reply =
        Submit("aria=Japan&name=A%20%26%3D%3Cscript%3E%E6%97%A5&mode=0&level=1&score=150");
    EXPECT_TRUE(Has(reply,
                    "Registered (not verified: no replay came with it).<P>Score 150<P>Rank 1 of 1 "
                    "(unverified)"))
        << reply;
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
    EXPECT_TRUE(Has(Submit("aria=&name=a&mode=0&level=1&score=11"), "Registered"));
    EXPECT_TRUE(Has(Submit("aria=&name=a&mode=0&level=1&score=12"), "too many"));
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
    EXPECT_TRUE(Has(all, "413")) << all;  // no page takes a body
    EXPECT_TRUE(Has(Raw("POST /game/quibbix/GameResult.asp?data=1 HTTP/1.1\r\nConnection: "
                        "close\r\n\r\n"),
                    "Only GET"));
}

TEST_F(ServerTest, RecordsSurviveARestart) {
    Submit("aria=&name=kept&mode=0&level=1&score=20");
    Restart();
    EXPECT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<td>kept</td>"));
}

TEST_F(ServerTest, BehindAProxyEachPlayerHasOwnSubmissionLimit) {
    m_opt.nSubmitsPerMinute = 1;
    m_opt.setTrustedProxies = {"127.0.0.1"};
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
    m_opt.setTrustedProxies = {"127.0.0.2", "::1"};  // a local peer, but not one of these
    Restart();
    EXPECT_TRUE(Has(SubmitFrom("203.0.113.5"), "Registered"));
    EXPECT_TRUE(Has(SubmitFrom("203.0.113.6"), "too many"));
}

TEST_F(ServerTest, LogLineCannotBeForgedByTheRequest) {
    ::testing::internal::CaptureStderr();
    Raw("GET /a%0A127.0.0.1%20GET%20/forged%20200 HTTP/1.1\r\nHost: x\r\nConnection: "
        "close\r\n\r\n");
    Raw("GET /b\x7F\x1B[2J HTTP/1.1\r\nConnection: close\r\n\r\n");
    m_pServer.reset();  // joins the loops: every line is written
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(log, "127.0.0.1 GET /a%0A127.0.0.1%20GET%20/forged%20200 404\n")) << log;
    EXPECT_TRUE(Has(log, "127.0.0.1 - GET /b\\x7F\\x1B[2J HTTP/1.1 400\n")) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST_F(ServerTest, HeadAnswersLikeGetButStoresNothing) {
    const std::string head =
        Raw("HEAD /game/quibbix/GameSet.asp?aria=&name=headonly&mode=0&level=1&score=10 "
            "HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(Has(head, "HTTP/1.1 200")) << head;
    EXPECT_FALSE(Has(head, "DATA_START")) << head;
    EXPECT_FALSE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "headonly"));
    EXPECT_TRUE(Has(Submit("aria=&name=headonly&mode=0&level=1&score=10"), "Rank 1 of 1"));
}

TEST_F(ServerTest, TheSameRequestWithinASecondIsOneRecord) {
    const std::string q = "aria=&name=twice&mode=0&level=1&score=10";
    EXPECT_TRUE(Has(Submit(q),
                    "Registered (not verified: no replay came with it).<P>Score 10<P>Rank 1 of 1 "
                    "(unverified)"));
    EXPECT_TRUE(Has(Submit(q),
                    "Registered (not verified: no replay came with it).<P>Score 10<P>Rank 1 of 1 "
                    "(unverified)"));  // the same answer
    EXPECT_TRUE(Has(Submit("aria=&name=other&mode=0&level=1&score=10"), "Rank 1 of 2"));
}

TEST_F(ServerTest, BrokenTextAndInvisibleNamesAreRefusedWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"name=%C0%80", "not valid UTF-8"},        // overlong NUL
        {"name=%ED%A0%80", "not valid UTF-8"},     // a surrogate
        {"name=%F4%90%80%80", "not valid UTF-8"},  // past U+10FFFF
        {"name=a%E6%97", "not valid UTF-8"},       // cut short
        {"name=ab%00cd", "control character"},     // not cut to "ab"
        {"name=a%C2%85", "control character"},     // C1
        {"name=ab%ZZ", "broken %-escape"},
        {"name=ab%", "broken %-escape"},
        {"name=%%41", "broken %-escape"},
        {"name=%E2%80%AEcba", "direction-changing"},  // right-to-left override
        {"name=a%E2%81%A6b", "direction-changing"},   // isolate
        {"name=%EF%BB%BFa", "direction-changing"},    // byte order mark
        {"name=a%E2%80%A8b", "direction-changing"},   // line separator
        {"name=a%EF%B7%90", "not text"},              // noncharacter
        {"name=%20%20", "only blanks"},
        {"name=%E3%80%80%C2%A0%E2%80%8B", "only blanks"},  // ideographic, no-break, zero-width
        {"name=a&name=b", "key twice"},
    };
    for (const auto& c : cases) {
        const std::string reply =
            Submit(std::string("aria=&") + c.first + "&mode=0&level=1&score=10");
        EXPECT_TRUE(Has(reply, "Not registered: ")) << c.first << ": " << reply;
        EXPECT_TRUE(Has(reply, c.second)) << c.first << ": " << reply;
    }
    EXPECT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<table>"));
    EXPECT_FALSE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<td>1</td>"));
    // What is fine: text of any script, inner blanks, a '+' kept as typed.
    EXPECT_TRUE(Has(Submit("aria=&name=%E5%B1%B1%20a+b&mode=0&level=1&score=10"), "Registered"));
    EXPECT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<td>\xE5\xB1\xB1 a+b</td>"));
    EXPECT_TRUE(Has(Raw("GET /game/quibbix/GameResult.asp?data=%ZZ HTTP/1.1\r\nConnection: "
                        "close\r\n\r\n"),
                    "HTTP/1.1 400"));
}

TEST_F(ServerTest, TooManyQueryKeysAreAnsweredAndLogged) {
    std::string q = "/game/quibbix/GameSet.asp?aria=&name=k&mode=0&level=1&score=1";
    for (int i = 0; i < 490; ++i)
        q += "&k" + std::to_string(i);
    ::testing::internal::CaptureStderr();
    const std::string reply = Raw("GET " + q + " HTTP/1.1\r\nConnection: close\r\n\r\n");
    m_pServer.reset();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Has(reply, "HTTP/1.1 414")) << reply;
    EXPECT_TRUE(Has(reply, "too many keys")) << reply;
    EXPECT_TRUE(Has(log, "&k489 414\n")) << log;
    Restart();
    EXPECT_FALSE(Has(Get("/game/quibbix/GameResult.asp?data=0"), "<td>k</td>"));
}

TEST_F(ServerTest, ABadAddressIsRefusedBeforeTheDatabaseIsCreated) {
    m_pServer.reset();
    TearDown();
    for (const auto& addrs : {std::vector<std::string>{"::1", "localhost"},
                              std::vector<std::string>{"127.0.0.1", "1.2.3.4.5"},
                              std::vector<std::string>{"fe80::1%lo"}}) {
        SServerOptions opt = m_opt;
        opt.arrAddresses = addrs;
        std::string err;
        EXPECT_FALSE(CRankServer::Start(opt, err));
        EXPECT_TRUE(Has(err, "address")) << err;
        EXPECT_FALSE(std::filesystem::exists(m_opt.strDb)) << addrs.back();
    }
}

TEST_F(ServerTest, ServesOnIPv6Loopback) {
    const int probe = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool bV6 = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(probe);
    if (!bV6)
        GTEST_SKIP() << "no IPv6 loopback here";
    m_opt.arrAddresses = {"::1"};
    m_opt.nPort = 0;
    Restart();
    EXPECT_EQ(m_pServer->Endpoints().at(0), "[::1]:" + std::to_string(m_pServer->Port()));
    EXPECT_TRUE(
        Has(rawhttp::Exchange(m_pServer->Port(),
                              "GET /game/quibbix/GameSet.asp?aria=&name=six&mode=0&level=1&score=6 "
                              "HTTP/1.1\r\nConnection: close\r\n\r\n",
                              "::1"),
            "Registered"));
}

TEST_F(ServerTest, AnUploadOverTheCapIsRefused) {
    m_opt.nMaxUploadBytes = 2048;
    Restart();
    const std::string post =
        "POST /game/quibbix/Replay.asp HTTP/1.1\r\nContent-Length: 5000\r\n"
        "Connection: close\r\n\r\n" +
        std::string(5000, 'r');
    EXPECT_TRUE(Has(Raw(post), "HTTP/1.1 413"));
}

namespace {

std::string Gunzip(const std::string& in) {
    z_stream z{};
    inflateInit2(&z, 15 + 16);
    std::string out(1 << 20, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&z, Z_FINISH);
    out.resize(r == Z_STREAM_END ? z.total_out : 0);
    inflateEnd(&z);
    return out;
}

std::string BodyOf(const std::string& reply) {
    const size_t at = reply.find("\r\n\r\n");
    return at == std::string::npos ? "" : reply.substr(at + 4);
}

}  // namespace

TEST_F(ServerTest, PagesAreGzippedWhenAskedAndFollowEveryRecord) {
    Submit("aria=Japan&name=first&mode=0&level=1&score=10");
    const std::string path = "/game/quibbix/GameResult.asp?data=1";
    const std::string plain = rawhttp::Get(m_pServer->Port(), path);
    const std::string zipped =
        rawhttp::Get(m_pServer->Port(), path, "Accept-Encoding: deflate, gzip;q=0.8\r\n");
    EXPECT_FALSE(Has(plain, "Content-Encoding"));
    ASSERT_TRUE(Has(zipped, "Content-Encoding: gzip\r\n")) << zipped;
    EXPECT_TRUE(Has(zipped, "Vary: Accept-Encoding\r\n"));
    EXPECT_EQ(Gunzip(BodyOf(zipped)), BodyOf(plain));
    EXPECT_FALSE(Has(rawhttp::Get(m_pServer->Port(), path, "Accept-Encoding: gzip;q=0\r\n"),
                     "Content-Encoding"));
    // A new record shows at once, in both forms: the cache is per store write.
    Submit("aria=Japan&name=second&mode=0&level=1&score=20");
    EXPECT_TRUE(Has(BodyOf(rawhttp::Get(m_pServer->Port(), path)), "<td>second</td>"));
    EXPECT_TRUE(
        Has(Gunzip(BodyOf(rawhttp::Get(m_pServer->Port(), path, "Accept-Encoding: gzip\r\n"))),
            "<td>second</td>"));
}

// The database held up by someone else (here: the write lock of the file,
// taken by another connection for three seconds) must not hold up pages
// that need no database, and what waits for it is answered at its deadline.
TEST_F(ServerTest, AWaitForTheDatabaseHoldsUpNoOtherRequestOfItsLoop) {
    m_opt.nThreads = 1;  // everything on one event loop
    m_opt.nAnswerDeadlineMs = 1500;
    Restart();
    Submit("aria=&name=Held&mode=0&level=1&score=120");
    ASSERT_TRUE(Has(Get("/game/quibbix/GameResult.asp?data=1"), "<td>Held</td>"));  // cached now
    std::string err;
    const auto other = OpenSqlConn(m_opt.strDb, err);
    ASSERT_TRUE(other) << err;
    ASSERT_TRUE(other->Begin());
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const std::string body = std::string("DZREPLAY") + std::string(200, 'x');
    auto upload = std::async(std::launch::async, [&] {
        const std::string r =
            rawhttp::Exchange(m_pServer->Port(),
                              "POST /game/quibbix/Replay.asp HTTP/1.1\r\nHost: x\r\n"
                              "Connection: close\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body);
        return std::make_pair(r, Clock::now() - start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the upload is waiting
    const auto asked = Clock::now();
    const std::string page = Get("/game/quibbix/GameResult.asp?data=1");
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(500));
    EXPECT_TRUE(Has(page, "<td>Held</td>")) << page;
    const auto answer = upload.get();
    EXPECT_TRUE(Has(answer.first, "HTTP/1.1 503")) << answer.first;
    EXPECT_GE(answer.second, std::chrono::milliseconds(1400));
    EXPECT_LT(answer.second, std::chrono::milliseconds(2800));  // before the lock goes
    std::this_thread::sleep_for(std::chrono::seconds(3) - (Clock::now() - start));
    other->Rollback();
    // Once the lock is gone the server is as before.
    EXPECT_TRUE(Has(Submit("aria=&name=After&mode=0&level=1&score=130"), "Rank 1 of 2"));
}

// After a restart of the database server every pooled connection is dead. A
// page read on one is read again on a fresh one; a page whose reads failed
// is never answered 200 (and never kept in the cache).
TEST_F(ServerTest, PagesAfterARestartOfTheDatabaseServerAreRightOr503) {
    if (!CPgCluster::Installed())
        GTEST_SKIP() << "PostgreSQL 15 is not installed";
    std::string err;
    auto cluster = CPgCluster::Start(err);
    ASSERT_TRUE(cluster) << err;
    m_opt.strDb = cluster->Uri();
    m_opt.nThreads = 1;
    Restart();
    Submit("aria=&name=Before&mode=0&level=1&score=50");
    const char* const pages[] = {"data=0",        "data=1",        "data=2",
                                 "data=1&page=2", "data=0&page=2", "data=2&aria=Japan"};
    // Several readers in the pool at once.
    std::vector<std::thread> readers;
    for (const char* q : pages)
        readers.emplace_back([this, q] { Get(std::string("/game/quibbix/GameResult.asp?") + q); });
    for (auto& t : readers)
        t.join();
    cluster->Kill();
    ASSERT_TRUE(cluster->Restart());
    // The writer makes its link again; the new record changes every page.
    const std::string after = Submit("aria=&name=After&mode=0&level=1&score=60");
    EXPECT_TRUE(Has(after, "Rank 1 of 2")) << after;
    for (int round = 0; round < 2; ++round) {
        const std::string page =
            rawhttp::Get(m_pServer->Port(), "/game/quibbix/GameResult.asp?data=1");
        EXPECT_TRUE(Has(page, "HTTP/1.1 503") || Has(page, "<td>After</td>")) << page;
        for (const char* q : {"data=0", "data=1&page=2", "data=2"}) {
            const std::string other =
                rawhttp::Get(m_pServer->Port(), std::string("/game/quibbix/GameResult.asp?") + q);
            EXPECT_TRUE(Has(other, "HTTP/1.1 503") || Has(other, "HTTP/1.1 200")) << other;
            if (std::string(q) == "data=0") {
                EXPECT_TRUE(Has(other, "HTTP/1.1 503") || Has(other, "<td>After</td>")) << other;
            }
        }
    }
    const std::string last = Get("/game/quibbix/GameResult.asp?data=1");
    EXPECT_TRUE(Has(last, "<td>After</td>")) << last;
    m_pServer.reset();
}

// Many readers of a page that is not in the cache (a write has just emptied
// it): one reads the database, every one gets the page.
TEST_F(ServerTest, ReadersOfAPageBeingRenderedAllGetIt) {
    m_opt.nThreads = 2;
    Restart();
    for (int round = 0; round < 3; ++round) {
        const std::string name = "Crowd" + std::to_string(round);
        Submit("aria=&name=" + name + "&mode=0&level=1&score=" + std::to_string(100 + round));
        std::vector<std::future<std::string>> pages;
        for (int i = 0; i < 24; ++i)
            pages.push_back(std::async(std::launch::async, [this, i] {
                return rawhttp::Get(m_pServer->Port(),
                                    "/game/quibbix/GameResult.asp?data=" + std::to_string(i % 2));
            }));
        for (auto& p : pages) {
            const std::string page = p.get();
            EXPECT_TRUE(Has(page, "HTTP/1.1 200") && Has(page, "<td>" + name + "</td>")) << page;
        }
    }
}

// A page cached for one query never answers another: the unverified records
// alone, asked first, leave the whole ranking whole for the next reader.
TEST_F(ServerTest, EachQueryOfThePagesHasItsOwnCachedPage) {
    Submit("aria=Japan&name=first&mode=0&level=1&score=10");
    const auto tables = [](const std::string& page) {
        size_t n = 0;
        for (size_t at = page.find("<table>"); at != std::string::npos;
             at = page.find("<table>", at + 1))
            ++n;
        return n;
    };
    const uint16_t port = m_pServer->Port();
    const std::string apart =
        BodyOf(rawhttp::Get(port, "/game/quibbix/GameResult.asp?data=1&verified=0"));
    EXPECT_EQ(tables(apart), 1u) << apart;
    const std::string whole = BodyOf(rawhttp::Get(port, "/game/quibbix/GameResult.asp?data=1"));
    EXPECT_EQ(tables(whole), 2u) << whole;
    EXPECT_EQ(tables(BodyOf(rawhttp::Get(port, "/game/quibbix/GameResult.asp?data=1&verified=0"))),
              1u);
}

// The answer to a record is the answer to that request alone.
TEST_F(ServerTest, AnswersToRecordsAreNeverCached) {
    const std::string stored = rawhttp::Get(
        m_pServer->Port(), "/game/quibbix/GameSet.asp?aria=&name=n&mode=0&level=1&score=5");
    EXPECT_TRUE(Has(stored, "\r\nCache-Control: no-store\r\n")) << stored;
    const std::string refused =
        rawhttp::Get(m_pServer->Port(), "/game/quibbix/GameSet.asp?aria=&name=&mode=0");
    EXPECT_TRUE(Has(refused, "\r\nCache-Control: no-store\r\n")) << refused;
    EXPECT_FALSE(
        Has(rawhttp::Get(m_pServer->Port(), "/game/quibbix/GameResult.asp?data=1"), "no-store"));
}
