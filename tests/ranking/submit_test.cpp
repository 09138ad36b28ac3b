// Records sent to a real HTTP server on the loopback interface: the server
// must read back exactly what the player typed, and the player must see the
// server's reply, or "Err" when there is none.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/DoruzorODlg.h"
#include "platform/msgbox.h"
#include "platform/sendnet.h"
#include "ranking/Ranking.h"

namespace {

const char* const kReply =
    "<html><body>\r\n<!-- DATA_START -->\r\n  Rank 3<P>Score 1200  \r\n   \r\n"
    "Well done\r\n<!-- DATA_END -->\r\n</body></html>\r\n";

// A ranking server stand-in on an ephemeral port, remembering the query of
// the last submission.
class CTestServer {
public:
    CTestServer() {
        m_server.Get("/game/quibbix/GameSet.asp",
                     [this](const httplib::Request& req, httplib::Response& res) {
                         std::lock_guard<std::mutex> lock(m_mutex);
                         m_strTarget = req.target;
                         m_arrOrder.push_back("record");
                         m_query.clear();
                         for (const auto& [key, value] : req.params) {
                             m_query[key].push_back(value);
                         }
                         res.status = m_nStatus;
                         res.set_content(m_strBody, "text/html");
                     });
        m_server.Post("/game/quibbix/Replay.asp", [this](const httplib::Request& req,
                                                         httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_arrOrder.push_back("upload");
            m_strUpload = req.body;
            res.status = m_nUploadStatus;
            res.set_content("<!-- DATA_START -->stored<!-- DATA_END -->", "text/html");
        });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ranking::SetServerHost("127.0.0.1:" + std::to_string(m_nPort));
    }
    ~CTestServer() {
        ranking::SetServerHost("");
        m_server.stop();
        m_thread.join();
    }
    void Answer(int nStatus, const std::string& body) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nStatus = nStatus;
        m_strBody = body;
    }
    std::map<std::string, std::vector<std::string>> Query() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_query;
    }
    int Port() const { return m_nPort; }
    // What reached the server, in order: "upload" and "record".
    std::vector<std::string> Order() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrOrder;
    }
    std::string Upload() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strUpload;
    }
    std::string Target() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strTarget;
    }
    void AnswerUploads(int nStatus) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nUploadStatus = nStatus;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_nPort = 0;
    std::mutex m_mutex;
    std::map<std::string, std::vector<std::string>> m_query;
    int m_nStatus = 200;
    std::string m_strBody = kReply;
    std::vector<std::string> m_arrOrder;
    std::string m_strUpload;
    std::string m_strTarget;
    int m_nUploadStatus = 200;
};

using Query = std::map<std::string, std::vector<std::string>>;

Query Expected(const std::string& aria, const std::string& name, int level, int score) {
    return {{"aria", {aria}},
            {"name", {name}},
            {"mode", {"0"}},
            {"level", {std::to_string(level)}},
            {"score", {std::to_string(score)}}};
}

TEST(Submission, TheServerReadsExactlyWhatWasTyped) {
    CTestServer server;
    const std::vector<std::string> names = {
        "two words",
        "A&score=999999",
        "a=b&c",
        "<script>alert('x')</script>",
        "\xE3\x81\x8F\xE3\x82\x8D\xE3\x80\x80\xE5\xA4\xAA\xE9\x83\x8E",  // kana, wide blank, kanji
        "100% + #1?",
        " ",
        ""};
    for (const std::string& name : names) {
        EXPECT_EQ(ranking::SendRecord("Antigua and Barbuda", name, 1, 1200),
                  "Rank 3\nScore 1200\r\nWell done\r\n")
            << name;
        EXPECT_EQ(server.Query(), Expected("Antigua and Barbuda", name, 1, 1200)) << name;
    }
}

// A game's replay goes first, as it was recorded, and the record names it
// last of its keys; a server without replays or a failed upload changes
// nothing else.
TEST(Submission, TheReplayIsUploadedFirstAndNamedLast) {
    CTestServer server;
    std::string replay("DZREPLAY\x01\0\0\0\0binary\r\n\0bytes", 28);
    EXPECT_EQ(ranking::SendRecord("Japan", "Kuro", 1, 50, replay),
              "Rank 3\nScore 1200\r\nWell done\r\n");
    EXPECT_EQ(server.Order(), (std::vector<std::string>{"upload", "record"}));
    EXPECT_EQ(server.Upload(), replay);
    const std::string target = server.Target();
    const std::string key = "&score=50&replay=";
    ASSERT_NE(target.find(key), std::string::npos) << target;
    const std::string hash = target.substr(target.find(key) + key.size());
    EXPECT_EQ(hash.size(), 64u);
    EXPECT_EQ(hash.find_first_not_of("0123456789abcdef"), std::string::npos) << hash;
    Query q = Expected("Japan", "Kuro", 1, 50);
    q["replay"] = {hash};
    EXPECT_EQ(server.Query(), q);

    server.AnswerUploads(500);
    EXPECT_EQ(ranking::SendRecord("Japan", "Kuro", 1, 60, replay + "x"),
              "Rank 3\nScore 1200\r\nWell done\r\n");
    EXPECT_EQ(server.Order().back(), "record");
    EXPECT_NE(server.Target().find("&score=60&replay="), std::string::npos);
    EXPECT_NE(server.Target().substr(server.Target().size() - 64), hash);  // its own hash

    // The name is the SHA-256 of the bytes sent.
    ranking::SendRecord("Japan", "Kuro", 1, 80, "abc");
    EXPECT_EQ(server.Query()["replay"],
              std::vector<std::string>{
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"});

    // Without a replay (not recorded) the record is sent as it always was.
    EXPECT_NE(ranking::SendRecord("Japan", "Kuro", 1, 70), "Err");
    EXPECT_EQ(server.Query(), Expected("Japan", "Kuro", 1, 70));
}

TEST(Submission, NoUsableReplyReadsErr) {
    CTestServer server;
    server.Answer(500, "<html>Internal error</html>\r\n");
    EXPECT_EQ(ranking::SendRecord("Japan", "x", 1, 1), "Err");
    server.Answer(200, "DATA_START\r\nRank 3\r\nDATA_END\r\n");  // markers at the line start
    EXPECT_EQ(ranking::SendRecord("Japan", "x", 1, 1), "Err");
    server.Answer(200, "");
    EXPECT_EQ(ranking::SendRecord("Japan", "x", 1, 1), "Err");
}

TEST(Submission, NoServerReadsErr) {
    int nPort = 0;
    {
        CTestServer server;  // a port that was just free and is closed again
        nPort = server.Port();
    }
    ranking::SetServerHost("127.0.0.1:" + std::to_string(nPort));
    EXPECT_EQ(ranking::SendRecord("Japan", "x", 1, 1), "Err");
    ranking::SetServerHost("");
}

// The whole registration from the host: the dialog's answer is stored, the
// record is sent with the game's level and score, the reply is shown.
TEST(Submission, TheHostRegistersAndShowsTheReply) {
    CTestServer server;
    std::vector<std::string> shown;
    plat::SetMessageBoxHandler(
        [&shown](const std::string& text, const std::string&) { shown.push_back(text); });
    plat::SetSendNetHandler([](plat::SendNetFields& fields) {
        fields.name = "Kuro & Co";
        fields.selected = 84;  // Japan
        return 1;
    });
    CDoruzorODlg host;
    host.m_pGame = std::make_unique<CSceenGame>();
    for (const int nMode : {2, 1}) {
        host.m_pGame->m_nMode = nMode;
        host.m_pGame->m_nScore = 1200 + nMode;
        host.OfferRegistration();
        EXPECT_EQ(server.Query(), Expected("Japan", "Kuro & Co", nMode - 1, 1200 + nMode));
    }
    EXPECT_EQ(host.m_reg.m_strName, "Kuro & Co");
    EXPECT_EQ(host.m_reg.m_strAria, "Japan");
    EXPECT_EQ(shown, (std::vector<std::string>(2, "Rank 3\nScore 1200\r\nWell done\r\n")));

    server.Answer(404, "not here\r\n");
    host.OfferRegistration();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown.back(), "Err");
    plat::SetMessageBoxHandler(nullptr);
    plat::SetSendNetHandler(nullptr);
}

}  // namespace
