// Records sent to the reference ranking server, started by the test on a
// free loopback port with a database of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "http/KoruHttpConnect.h"
#include "ranking/Ranking.h"

extern char** environ;

namespace {

// A port the kernel just handed out and released again.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

class CReferenceServer {
public:
    CReferenceServer() {
        m_nPort = FreePort();
        m_strDb = std::string(DORUZORO_E2E_DIR) + "/ranking-" + std::to_string(getpid()) + ".db";
        std::remove(m_strDb.c_str());
        std::vector<std::string> args = {
            DORUZORO_SERVER_BIN,     "--address", "127.0.0.1", "--port",
            std::to_string(m_nPort), "--db",      m_strDb};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
            return;
        }
        for (int i = 0; i < 100 && !Accepts(m_nPort); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ranking::SetServerHost("127.0.0.1:" + std::to_string(m_nPort));
    }
    ~CReferenceServer() {
        ranking::SetServerHost("");
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        std::remove(m_strDb.c_str());
    }
    bool Running() const { return m_pid > 0 && Accepts(m_nPort); }

private:
    pid_t m_pid = -1;
    int m_nPort = 0;
    std::string m_strDb;
};

std::string Page(const std::string& url) {
    CKoruHttpConnect http;
    http.GetPage(url, "", "");
    std::string text;
    for (const std::string& line : http.m_arrLines) {
        text += line + "\n";
    }
    return text;
}

TEST(ReferenceServer, TakesARecordAndListsIt) {
    CReferenceServer server;
    ASSERT_TRUE(server.Running());
    const std::string reply = ranking::SendRecord("Japan", "E2E Tester", 1, 4321);
    EXPECT_NE(reply, "Err");
    std::string pages;
    for (const int nData : {0, 1, 2}) {
        pages += Page(ranking::ResultPageUrl(nData));
    }
    EXPECT_NE(pages.find("E2E Tester"), std::string::npos);
}

TEST(ReferenceServer, ANameCannotRewriteTheScore) {
    CReferenceServer server;
    ASSERT_TRUE(server.Running());
    EXPECT_NE(ranking::SendRecord("Japan", "Cheat&score=999999", 1, 5), "Err");
    for (const int nData : {0, 1, 2}) {
        // The name is shown as typed; only a score cell of 999999 would be a rewrite.
        EXPECT_EQ(Page(ranking::ResultPageUrl(nData)).find("<td>999999</td>"), std::string::npos);
    }
}

// Every name goes through as typed, and the page shows it escaped, never
// as markup; the player hears the reply as the server wrote it.
TEST(ReferenceServer, NamesArriveAsTypedAndThePagesEscapeThem) {
    CReferenceServer server;
    ASSERT_TRUE(server.Running());
    struct SCase {
        const char* szName;
        const char* szOnPage;
    };
    const SCase cases[] = {
        {"Kuro Neko", "<td>Kuro Neko</td>"},
        {"A&B", "<td>A&amp;B</td>"},
        {"x=y&level=0", "<td>x=y&amp;level=0</td>"},
        {"<script>alert(1)</script>", "<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"},
        {"黒猫 クロ", "<td>黒猫 クロ</td>"},
    };
    int nScore = 100;
    for (const SCase& c : cases) {
        nScore += 10;
        const std::string reply = ranking::SendRecord("Japan", c.szName, 1, nScore);
        EXPECT_EQ(reply.rfind("Registered (not verified: no replay came with it).\nScore " +
                                  std::to_string(nScore) + "\nRank ",
                              0),
                  0u)
            << c.szName << ": " << reply;
    }
    const std::string newest = Page(ranking::ResultPageUrl(0));
    for (const SCase& c : cases) {
        EXPECT_NE(newest.find(c.szOnPage), std::string::npos) << c.szName;
    }
    EXPECT_EQ(newest.find("<script>"), std::string::npos);
    // "x=y&level=0" must not have turned the record into a level-0 one.
    EXPECT_NE(Page(ranking::ResultPageUrl(1)).find("<td>x=y&amp;level=0</td>"), std::string::npos);
}

// A refused record is said as the server says it, and nothing is stored.
TEST(ReferenceServer, ARefusedRecordIsSaidAndNotStored) {
    CReferenceServer server;
    ASSERT_TRUE(server.Running());
    const std::string reply = ranking::SendRecord("Atlantis", "Kuro", 1, 50);
    EXPECT_EQ(reply.rfind("Not registered", 0), 0u) << reply;
    EXPECT_EQ(Page(ranking::ResultPageUrl(0)).find("<td>Kuro</td>"), std::string::npos);
}

}  // namespace
