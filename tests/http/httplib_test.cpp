// The HTTP client against a full HTTP server on loopback: what an ordinary
// server parses out of our requests, and ordinary redirects.
#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http/KoruHttpConnect.h"

namespace {

class CLoopServer {
public:
    CLoopServer() {
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~CLoopServer() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
    }
    httplib::Server m_server;

private:
    int m_nPort = 0;
    std::thread m_thread;
};

}  // namespace

TEST(HttpFullServer, GetAndPostAsTheServerSeesThem) {
    CLoopServer server;
    std::string agent, accept, body, type;
    server.m_server.Get("/get", [&](const httplib::Request& req, httplib::Response& res) {
        agent = req.get_header_value("User-Agent");
        accept = req.get_header_value("Accept");
        res.set_content("a=" + req.get_param_value("a") + "\n<p\nclass=x>b</p>", "text/html");
    });
    server.m_server.Post("/post", [&](const httplib::Request& req, httplib::Response& res) {
        body = req.body;
        type = req.get_header_value("Content-Type");
        res.set_content("posted", "text/plain");
    });
    CKoruHttpConnect http;
    ASSERT_EQ(http.GetPage(server.Url("/get?a=1#frag"), "", ""), 0);
    EXPECT_EQ(agent, "ViveVerudir");
    EXPECT_EQ(accept, "text/*,*/*");
    EXPECT_EQ(http.m_strAnchor, "frag");
    EXPECT_EQ(http.m_arrLines, (std::vector<std::string>{"a=1\n\r\n", "<p\nclass=x>b</p>\r\n"}));

    ASSERT_EQ(http.GetPage(server.Url("/post"), "name=%E3%81%82&score=10", ""), 0);
    EXPECT_EQ(body, "name=%E3%81%82&score=10");
    EXPECT_EQ(type, "application/x-www-form-urlencoded");
    EXPECT_EQ(http.m_arrLines, (std::vector<std::string>{"posted\r\n"}));
}

TEST(HttpFullServer, RedirectsAfterPostAreGetsAndErrorPagesAreRead) {
    CLoopServer server;
    server.m_server.Post("/form", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/done", 303);
    });
    server.m_server.Get("/done", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("missing", "text/plain");
    });
    CKoruHttpConnect http;
    ASSERT_EQ(http.GetPage(server.Url("/form"), "x=1", ""), 0);
    EXPECT_EQ(http.m_arrLines, (std::vector<std::string>{"missing\r\n"}));
    EXPECT_EQ(http.m_strFinalUrl, "http://127.0.0.1/done");
}
