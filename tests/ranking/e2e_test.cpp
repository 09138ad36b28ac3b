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

}  // namespace
