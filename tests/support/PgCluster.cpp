#include "tests/support/PgCluster.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";

// The server refuses to run as root: as root everything runs as "postgres".
bool Run(const std::vector<std::string>& args, const std::string& strLog) {
    std::vector<std::string> all;
    if (geteuid() == 0)
        all = {"runuser", "-u", "postgres", "--"};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int fd = ::open(strLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

std::vector<pid_t> Children(pid_t pid) {
    std::vector<pid_t> out;
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t c; in >> c;)
        out.push_back(c);
    return out;
}

// Dead processes may linger as zombies where nothing reaps them.
bool Alive(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

}  // namespace

bool CPgCluster::Installed() {
    return access((kBin + "initdb").c_str(), X_OK) == 0 &&
           (geteuid() != 0 || getpwnam("postgres") != nullptr);
}

std::unique_ptr<CPgCluster> CPgCluster::Start(std::string& strError) {
    if (!Installed()) {
        strError = "PostgreSQL 15 is not installed";
        return nullptr;
    }
    std::string tmpl = (std::filesystem::temp_directory_path() / "doruzoro-pg-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        strError = "no temporary folder";
        return nullptr;
    }
    std::unique_ptr<CPgCluster> c(new CPgCluster);
    c->m_strDir = tmpl;
    return c->Create(strError) ? std::move(c) : nullptr;
}

std::unique_ptr<CPgCluster> CPgCluster::Open(const std::string& strDir, std::string& strError) {
    if (!Installed()) {
        strError = "PostgreSQL 15 is not installed";
        return nullptr;
    }
    std::unique_ptr<CPgCluster> c(new CPgCluster);
    c->m_strDir = strDir;
    c->m_bKeep = true;
    if (!std::filesystem::exists(strDir + "/data/PG_VERSION")) {
        std::error_code ec;
        std::filesystem::remove_all(strDir, ec);
        std::filesystem::create_directories(strDir, ec);
        return c->Create(strError) ? std::move(c) : nullptr;
    }
    c->m_nPort = FreePort();
    c->m_strUri = "postgresql://postgres@127.0.0.1:" + std::to_string(c->m_nPort) + "/doruzoro";
    if (!c->PgCtlStart()) {
        strError = "cannot start PostgreSQL in " + strDir;
        return nullptr;
    }
    return c;
}

bool CPgCluster::Create(std::string& strError) {
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("postgres");
        if (chown(m_strDir.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            strError = "cannot give the folder to postgres";
            return false;
        }
    }
    const std::string log = m_strDir + "/log";
    m_nPort = FreePort();
    if (!Run({kBin + "initdb", "-D", m_strDir + "/data", "-A", "trust", "-U", "postgres", "-E",
              "UTF8", "--locale=C", "--no-sync"},
             log) ||
        !PgCtlStart() ||
        !Run({kBin + "createdb", "-h", "127.0.0.1", "-p", std::to_string(m_nPort), "-U", "postgres",
              "doruzoro"},
             log)) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        strError = "cannot start PostgreSQL: " + text.str();
        return false;
    }
    m_strUri = "postgresql://postgres@127.0.0.1:" + std::to_string(m_nPort) + "/doruzoro";
    return true;
}

// fsync on: the tests of lost records must see what a real server keeps.
bool CPgCluster::PgCtlStart() {
    const std::string opts = "-p " + std::to_string(m_nPort) + " -k " + m_strDir +
                             " -c listen_addresses=127.0.0.1 -c fsync=on -c max_connections=100";
    return Run({kBin + "pg_ctl", "-D", m_strDir + "/data", "-l", m_strDir + "/server.log", "-w",
                "-t", "60", "-o", opts, "start"},
               m_strDir + "/log");
}

bool CPgCluster::Restart() {
    return PgCtlStart();
}

void CPgCluster::Kill() {
    std::ifstream in(m_strDir + "/data/postmaster.pid");
    pid_t pid = 0;
    if (!(in >> pid) || pid <= 0)
        return;
    const std::vector<pid_t> children = Children(pid);
    kill(pid, SIGKILL);
    for (const pid_t c : children)
        kill(c, SIGKILL);
    // Wait until the port is free and the old processes are gone.
    for (int i = 0; i < 500 && Alive(pid); ++i)
        usleep(10000);
    for (const pid_t c : children)
        for (int i = 0; i < 500 && Alive(c); ++i)
            usleep(10000);
    // As after a crash of the machine: the dead server's pid file names no
    // server (here a zombie may keep its number where nothing reaps it).
    const std::string socket = m_strDir + "/.s.PGSQL." + std::to_string(m_nPort);
    for (const std::string& f : {m_strDir + "/data/postmaster.pid", socket, socket + ".lock"})
        std::filesystem::remove(f);
}

CPgCluster::~CPgCluster() {
    if (m_strDir.empty())
        return;
    Run({kBin + "pg_ctl", "-D", m_strDir + "/data", "-m", m_bKeep ? "fast" : "immediate", "-w",
         "stop"},
        "/dev/null");
    if (!m_bKeep) {
        std::error_code ec;
        std::filesystem::remove_all(m_strDir, ec);
    }
}
