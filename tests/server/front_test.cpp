// The HTTP front on real loopback sockets, with handlers written for the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "server/HttpFront.h"
#include "tests/server/RawHttp.h"

using namespace rawhttp;

namespace {

using Clock = std::chrono::steady_clock;

SHttpResponse Text(const std::string& body) {
    SHttpResponse r;
    r.strContentType = "text/plain";
    r.strBody = body;
    return r;
}

class FrontTest : public ::testing::Test {
protected:
    void Start(Handler handler) {
        m_opt.fnLog = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_arrLog.push_back(line);
        };
        std::string err;
        m_pFront = CHttpFront::Start(m_opt, std::move(handler), err);
        ASSERT_TRUE(m_pFront) << err;
    }
    // Echoes the method, the target and the body.
    void StartEcho() {
        Start([](SHttpRequest&& req, std::shared_ptr<CHttpReply> reply) {
            reply->Send(Text(req.strMethod + " " + req.strTarget + " [" + req.strBody + "]"));
        });
    }
    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrLog;
    }
    uint16_t Port() const { return m_pFront->Port(); }

    SFrontOptions m_opt;
    std::unique_ptr<CHttpFront> m_pFront;
    std::mutex m_mutex;
    std::vector<std::string> m_arrLog;
};

SHeadResult Parse(const std::string& head, SHttpRequest& req) {
    return ParseRequestHead(head.data(), head.size(), 8192, req);
}

}  // namespace

TEST(HttpHead, ReadsWhatIsSentAndRefusesWhatIsAmbiguous) {
    SHttpRequest req;
    SHeadResult r = Parse("GET /a?b=%41 HTTP/1.1\r\nHost: x\r\nX-A:  v \r\n\r\nrest", req);
    ASSERT_EQ(r.eState, EHead::Complete);
    EXPECT_EQ(r.nLength, 44u);
    EXPECT_EQ(req.strPath, "/a");
    EXPECT_EQ(req.strQuery, "b=%41");
    ASSERT_TRUE(req.Header("x-a"));
    EXPECT_EQ(*req.Header("x-a"), "v");
    EXPECT_TRUE(req.bKeepAlive);

    EXPECT_EQ(Parse("GET / HTTP/1.0\r\n\r\n", req).eState, EHead::Complete);
    EXPECT_FALSE(req.bKeepAlive);
    EXPECT_EQ(Parse("GET / HTTP/1.1\r\nHost: x\r\n", req).eState, EHead::Incomplete);

    const std::pair<const char*, int> bad[] = {
        {"GET  / HTTP/1.1\r\n\r\n", 400},
        {"GET /a b HTTP/1.1\r\n\r\n", 400},
        {"GET http://x/ HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nA: b\r\n folded\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nA: b\x01\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nA: b\rc\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999\r\n\r\n", 400},
    };
    for (const auto& b : bad) {
        r = Parse(b.first, req);
        EXPECT_EQ(r.eState, EHead::Bad) << b.first;
        EXPECT_EQ(r.nStatus, b.second) << b.first;
    }
    const std::string longLine = "GET /" + std::string(9000, 'a');
    EXPECT_EQ(Parse(longLine, req).nStatus, 414);
    const std::string manyHeaders = "GET / HTTP/1.1\r\n" + std::string(9000, 'h');
    EXPECT_EQ(Parse(manyHeaders, req).nStatus, 431);
}

TEST_F(FrontTest, KeepAliveAndPipelinedRequestsAnsweredInOrder) {
    m_opt.nThreads = 2;
    // The first request is answered late from another thread: the second,
    // already in the socket, must still come after it.
    Start([](SHttpRequest&& req, std::shared_ptr<CHttpReply> reply) {
        const std::string body = req.strTarget;
        if (body == "/slow")
            std::thread([reply, body] {
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                reply->Send(Text(body));
            }).detach();
        else
            reply->Send(Text(body));
    });
    const int fd = Connect(Port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd,
                        "GET /slow HTTP/1.1\r\nHost: x\r\n\r\nGET /fast HTTP/1.1\r\nHost: x\r\n\r\n"
                        "HEAD /head HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const std::string all = ReadUntilClose(fd);
    EXPECT_LT(all.find("/slow"), all.find("/fast")) << all;
    EXPECT_TRUE(Has(all, "Connection: close\r\n")) << all;
    EXPECT_FALSE(Has(all, "/head")) << "HEAD got a body: " << all;
    size_t answers = 0;
    for (size_t at = all.find("HTTP/1.1 200"); at != std::string::npos;
         at = all.find("HTTP/1.1 200", at + 1))
        ++answers;
    EXPECT_EQ(answers, 3u) << all;
    close(fd);
}

TEST_F(FrontTest, BadHeadsAndBodiesGetTheirStatusAndALogLine) {
    m_opt.fnBodyLimit = [](const SHttpRequest& req) -> size_t {
        return req.strPath == "/upload" ? 1000 : 0;
    };
    StartEcho();
    EXPECT_TRUE(Has(Exchange(Port(),
                             "POST /upload HTTP/1.1\r\nContent-Length: 3\r\n"
                             "Connection: close\r\n\r\nabc"),
                    "POST /upload [abc]"));
    // Over the cap: the answer comes without reading the body, and is not lost
    // to a reset although the body is still on its way.
    const std::string big =
        "POST /upload HTTP/1.1\r\nContent-Length: 300000\r\n\r\n" + std::string(300000, 'x');
    EXPECT_TRUE(Has(Exchange(Port(), big), "HTTP/1.1 413")) << "body over the cap";
    EXPECT_TRUE(
        Has(Exchange(Port(), "GET /x HTTP/1.1\r\nContent-Length: 2\r\n\r\nab"), "HTTP/1.1 413"));
    EXPECT_TRUE(Has(Exchange(Port(),
                             "POST /upload HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                             "3\r\nabc\r\n0\r\n\r\n"),
                    "HTTP/1.1 501"));
    EXPECT_TRUE(Has(Exchange(Port(), "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n"),
                    "HTTP/1.1 414"));
    EXPECT_TRUE(Has(Exchange(Port(), "GET / HTTP/1.1\r\nX: " + std::string(9000, 'a') + "\r\n\r\n"),
                    "HTTP/1.1 431"));
    EXPECT_TRUE(Has(Exchange(Port(), "GET /\x01 HTTP/1.1\r\n\r\n"), "HTTP/1.1 400"));
    m_pFront.reset();  // joins the loops: every line is written
    const auto log = Log();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_TRUE(Has(log[1], "413"));
    EXPECT_TRUE(Has(log[6], "GET /\\x01 HTTP/1.1 400")) << log[6];
}

TEST_F(FrontTest, SlowHeadIsCutAtItsDeadlineWhileOthersAreServed) {
    m_opt.nHeadDeadlineMs = 1000;
    m_opt.nThreads = 1;  // the slow client and the others share the one loop
    StartEcho();
    const int slow = Connect(Port());
    ASSERT_GE(slow, 0);
    const auto start = Clock::now();
    const std::string head = "GET /slow HTTP/1.1\r\nHost: x\r\nX-Pad: aaaaaaaaaaaaaaaaaaaaaaaa";
    bool bCut = false;
    int served = 0;
    for (size_t i = 0; i < head.size() && !bCut; ++i) {
        bCut = !SendAll(slow, head.substr(i, 1));
        if (i % 3 == 0 && Has(Get(Port(), "/other"), "GET /other"))
            ++served;
        pollfd p{slow, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {  // the server's 408, then its close
            ReadUntilClose(slow, 500);
            bCut = true;
        }
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    close(slow);
    EXPECT_TRUE(bCut) << "a byte every 200 ms kept the head open";
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 2500);
    EXPECT_GE(served, 2);
}

TEST_F(FrontTest, ConnectionsBeyondTheCapAreClosedAtOnce) {
    m_opt.nMaxConnections = 3;
    StartEcho();
    std::vector<int> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(Connect(Port()));
    for (int i = 0; i < 100 && m_pFront->Connections() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(m_pFront->Connections(), 3);
    const auto start = Clock::now();
    const std::string refused = Get(Port(), "/over");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(Has(refused, "GET /over")) << refused;
    EXPECT_TRUE(refused.empty() || Has(refused, "503")) << refused;
    close(held.back());
    held.pop_back();
    for (int i = 0; i < 100 && m_pFront->Connections() > 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(Has(Get(Port(), "/room"), "GET /room"));
    for (const int fd : held)
        close(fd);
}

TEST_F(FrontTest, LateOrMissingRepliesAreSafe) {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::shared_ptr<CHttpReply>> parked;
    Start([&](SHttpRequest&& req, std::shared_ptr<CHttpReply> reply) {
        if (req.strPath == "/drop")
            return;  // never answered by the handler
        if (req.strPath == "/park") {
            std::lock_guard<std::mutex> lock(mutex);
            parked.push_back(std::move(reply));
            cv.notify_all();
            return;
        }
        reply->Send(Text("ok"));
    });
    EXPECT_TRUE(Has(Get(Port(), "/drop"), "HTTP/1.1 500"));
    // The client leaves while its answer is pending; the answer comes afterwards.
    const int fd = Connect(Port());
    ASSERT_TRUE(SendAll(fd, "GET /park HTTP/1.1\r\nHost: x\r\n\r\n"));
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return !parked.empty(); }));
    }
    const linger reset{1, 0};  // a reset: the server sees the client go at once
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
    for (int i = 0; i < 100 && m_pFront->Connections() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(m_pFront->Connections(), 0);
    std::thread([&] {
        parked[0]->Send(Text("too late"));
        parked[0]->Send(Text("twice"));
    }).join();
    EXPECT_TRUE(Has(Get(Port(), "/next"), "ok"));
    // An answer held past the server's end is dropped, not written anywhere.
    const int fd2 = Connect(Port());
    ASSERT_TRUE(SendAll(fd2, "GET /park HTTP/1.1\r\nHost: x\r\n\r\n"));
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return parked.size() > 1; }));
    }
    m_pFront.reset();
    parked[1]->Send(Text("after the end"));
    parked.clear();
    close(fd2);
}

TEST_F(FrontTest, ListensOnSeveralAddressesAtOnce) {
    const int probe = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool bV6 = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(probe);
    if (!bV6)
        GTEST_SKIP() << "no IPv6 loopback here";
    m_opt.arrAddresses = {"127.0.0.1", "::1"};
    StartEcho();
    ASSERT_EQ(m_pFront->Endpoints().size(), 2u);
    EXPECT_EQ(m_pFront->Endpoints()[1], "[::1]:" + std::to_string(Port()));
    EXPECT_TRUE(
        Has(Exchange(Port(), "GET /six HTTP/1.1\r\nConnection: close\r\n\r\n", "::1"), "GET /six"));
    EXPECT_TRUE(Has(Get(Port(), "/four"), "GET /four"));
    m_pFront.reset();
    EXPECT_TRUE(Has(Log()[0], "::1 GET /six 200"));
}

TEST_F(FrontTest, PipelinedAnswersGivenOnTheLoopGoOutAtOnce) {
    m_opt.nThreads = 1;
    StartEcho();  // answers on the loop's own thread, inside the handler
    const int fd = Connect(Port());
    ASSERT_GE(fd, 0);
    // Each answer must leave without waiting for the loop's next timer round
    // (a tenth of a second): five rounds of three stay well below half a second.
    const auto start = Clock::now();
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(SendAll(fd,
                            "GET /a HTTP/1.1\r\nHost: x\r\n\r\nGET /b HTTP/1.1\r\nHost: "
                            "x\r\n\r\nGET /c HTTP/1.1\r\nHost: x\r\n\r\n"));
        const std::string all = ReadAnswers(fd, 3, 2000);
        ASSERT_TRUE(Has(all, "GET /c []")) << all;
        EXPECT_LT(all.find("GET /a"), all.find("GET /b"));
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(400));
    close(fd);
}

TEST_F(FrontTest, AnAnswerPastItsDeadlineIs503AndALateOneIsDropped) {
    m_opt.nAnswerDeadlineMs = 300;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::shared_ptr<CHttpReply>> parked;
    Start([&](SHttpRequest&& req, std::shared_ptr<CHttpReply> reply) {
        if (req.strPath != "/park")
            return reply->Send(Text("ok " + req.strPath));
        std::lock_guard<std::mutex> lock(mutex);
        parked.push_back(std::move(reply));
        cv.notify_all();
    });
    const int fd = Connect(Port());
    ASSERT_GE(fd, 0);
    const auto start = Clock::now();
    ASSERT_TRUE(SendAll(fd, "GET /park HTTP/1.1\r\nHost: x\r\n\r\n"));
    const std::string first = ReadAnswers(fd, 1, 3000);
    const auto waited = Clock::now() - start;
    EXPECT_TRUE(Has(first, "HTTP/1.1 503")) << first;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    // The connection stays usable; the first request's answer, given late,
    // must not stand in for the next request's.
    ASSERT_TRUE(SendAll(fd, "GET /park HTTP/1.1\r\nHost: x\r\n\r\n"));
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return parked.size() > 1; }));
    }
    parked[0]->Send(Text("late"));
    parked[1]->Send(Text("in time"));
    const std::string second = ReadAnswers(fd, 1, 3000);
    EXPECT_TRUE(Has(second, "in time")) << second;
    EXPECT_FALSE(Has(second, "late")) << second;
    close(fd);
    parked.clear();
}
