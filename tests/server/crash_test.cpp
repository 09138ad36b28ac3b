// The real doruzoro-server killed with SIGKILL in the middle of a burst of
// records: after a restart on the same file, every record it answered
// "Registered" for is there.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// One request on its own connection; the whole reply, or "" when refused.
std::string Fetch(uint16_t port, const std::string& path) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    const std::string req = "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(fd, req.data(), req.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(req.size())) {
        char buf[4096];
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;)
            reply.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return reply;
}

// doruzoro-server as its own process, logging to a file beside the database.
class CServerProcess {
public:
    CServerProcess(const std::string& db, const std::string& log,
                   const std::vector<std::string>& addresses = {"--address", "127.0.0.1"}) {
        std::filesystem::remove(log);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> args = {DORUZORO_SERVER_BIN, "--port", "0", "--db", db,
                                         "--submit-limit",    "1000000"};
        args.insert(args.end(), addresses.begin(), addresses.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        for (int i = 0; m_pid > 0 && m_nPort == 0 && i < 200; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {  // ended without listening
                m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                m_pid = -1;
                break;
            }
            std::ifstream in(log);
            std::string line;
            unsigned port = 0;
            if (std::getline(in, line) && line.compare(0, 13, "listening on ") == 0 &&
                std::sscanf(line.c_str() + line.rfind(':'), ":%u", &port) == 1)
                m_nPort = static_cast<uint16_t>(port);
        }
    }
    ~CServerProcess() { Kill(SIGTERM); }
    // The exit status once the process has ended by itself, -1 while it runs.
    int Wait() {
        int status = 0;
        if (m_pid <= 0 || waitpid(m_pid, &status, 0) != m_pid)
            return m_nExit;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill(int sig) {
        if (m_pid > 0) {
            kill(m_pid, sig);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    uint16_t Port() const { return m_nPort; }

private:
    pid_t m_pid = -1;
    uint16_t m_nPort = 0;
    int m_nExit = -1;
};

std::set<std::string> StoredNames(const std::string& db, std::string& integrity) {
    std::set<std::string> names;
    sqlite3* p = nullptr;
    if (sqlite3_open_v2(db.c_str(), &p, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const auto rows = [](void* out, int, char** v, char**) {
            static_cast<std::set<std::string>*>(out)->insert(v[0] ? v[0] : "");
            return 0;
        };
        sqlite3_exec(p, "SELECT name FROM records", rows, &names, nullptr);
        std::set<std::string> check;
        sqlite3_exec(p, "PRAGMA integrity_check", rows, &check, nullptr);
        integrity = check.size() == 1 ? *check.begin() : "several lines";
    }
    sqlite3_close(p);
    return names;
}

class CBurst {
public:
    explicit CBurst(uint16_t port, int round)
        : m_thread([this, port, round] { Run(port, round); }) {}
    ~CBurst() { Stop(); }
    void Stop() {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int Acknowledged() const { return m_nAcked; }
    std::set<std::string> Names() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_acked;
    }

private:
    void Run(uint16_t port, int round) {
        for (int i = 0; !m_bStop; ++i) {
            const std::string name = "r" + std::to_string(round) + "n" + std::to_string(i);
            const std::string reply =
                Fetch(port, "/game/quibbix/GameSet.asp?aria=Japan&name=" + name +
                                "&mode=0&level=1&score=" + std::to_string(i % 3000));
            if (Has(reply, "Registered")) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_acked.insert(name);
                ++m_nAcked;
            }
        }
    }
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nAcked{0};
    std::mutex m_mutex;
    std::set<std::string> m_acked;
    std::thread m_thread;
};

}  // namespace

TEST(ServerCrash, EveryAcknowledgedRecordSurvivesKillMinusNine) {
    const std::string dir = ::testing::TempDir() + "crash_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string db = dir + "/ranking.db", log = dir + "/server.log";
    std::set<std::string> acked;
    for (int round = 0; round < 3; ++round) {
        CServerProcess server(db, log);
        ASSERT_NE(server.Port(), 0) << "server did not start, round " << round;
        CBurst burst(server.Port(), round);
        // Kill at a point that differs a little each round, writes in flight.
        const int killAt = 150 + 37 * round;
        for (int i = 0; i < 2000 && burst.Acknowledged() < killAt; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        server.Kill(SIGKILL);
        burst.Stop();
        ASSERT_GE(burst.Acknowledged(), killAt) << "round " << round;
        const auto names = burst.Names();
        acked.insert(names.begin(), names.end());
    }
    CServerProcess server(db, log);
    ASSERT_NE(server.Port(), 0);
    EXPECT_TRUE(Has(Fetch(server.Port(), "/game/quibbix/GameResult.asp?data=0"), "<td>r2n"));
    std::string integrity;
    const std::set<std::string> stored = StoredNames(db, integrity);
    EXPECT_EQ(integrity, "ok");
    std::vector<std::string> lost;
    for (const std::string& name : acked)
        if (!stored.count(name))
            lost.push_back(name);
    EXPECT_TRUE(lost.empty()) << lost.size() << " acknowledged records lost, first " << lost[0];
    server.Kill(SIGTERM);
    std::filesystem::remove_all(dir);
}

TEST(ServerProcess, EveryAddressIsCheckedBeforeTheDatabaseIsCreated) {
    const std::string dir = ::testing::TempDir() + "addr_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string db = dir + "/ranking.db", log = dir + "/server.log";
    for (const char* bad : {"localhost", "::1::2", "300.1.1.1"}) {
        CServerProcess server(db, log, {"--address", "127.0.0.1", "--address", bad});
        EXPECT_EQ(server.Port(), 0);
        EXPECT_EQ(server.Wait(), 2) << bad;
        EXPECT_FALSE(std::filesystem::exists(db)) << bad;
    }
    // Both families at once, each logged with its port.
    const int probe = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool bV6 = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(probe);
    if (bV6) {
        CServerProcess server(db, log, {"--address", "::1", "--address", "127.0.0.1"});
        ASSERT_NE(server.Port(), 0);
        std::ifstream in(log);
        std::string first, second;
        std::getline(in, first);
        std::getline(in, second);
        EXPECT_EQ(first, "listening on [::1]:" + std::to_string(server.Port()));
        EXPECT_EQ(second, "listening on 127.0.0.1:" + std::to_string(server.Port()));
        EXPECT_TRUE(Has(Fetch(server.Port(), "/game/quibbix/GameResult.asp?data=0"), "<table>"));
    }
    std::filesystem::remove_all(dir);
}
