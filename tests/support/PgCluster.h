// A throw-away PostgreSQL server for one test: its own data folder below the
// system's temporary folder, its own loopback port, gone with the object.
#pragma once
#include <memory>
#include <string>

class CPgCluster {
public:
    // False when PostgreSQL 15 is not installed here (the test is skipped,
    // and so fails under CI: tests/support/test_main.cpp).
    static bool Installed();
    // nullptr with the reason when it cannot be started.
    static std::unique_ptr<CPgCluster> Start(std::string& strError);
    // A server whose folder stays for the next run (a benchmark's filled
    // tables): made in strDir when missing, started on a free port, stopped
    // but kept by the destructor.
    static std::unique_ptr<CPgCluster> Open(const std::string& strDir, std::string& strError);
    ~CPgCluster();  // stops the server and removes its folder (unless opened)
    CPgCluster(const CPgCluster&) = delete;
    CPgCluster& operator=(const CPgCluster&) = delete;

    // postgresql://postgres@127.0.0.1:PORT/doruzoro
    const std::string& Uri() const { return m_strUri; }
    // The server and all its processes killed at once, as in a crash.
    void Kill();
    // Started again on the same folder and port (after Kill: with recovery).
    bool Restart();

private:
    CPgCluster() = default;
    bool PgCtlStart();
    bool Create(std::string& strError);
    bool m_bKeep = false;
    std::string m_strDir;
    int m_nPort = 0;
    std::string m_strUri;
};
