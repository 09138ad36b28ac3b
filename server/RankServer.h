// The ranking served over HTTP: submissions, result pages, limits for the public.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct SServerOptions {
    std::vector<std::string> arrAddresses{"127.0.0.1"};  // IPv4 or IPv6, several at once
    uint16_t nPort = 8047;                               // 0 picks a free one
    std::string strDb = "ranking.db";
    int nSubmitsPerMinute = 10;  // from one address
    // Peers whose X-Real-IP names the player (a reverse proxy). Requests from
    // anyone else are counted by their own address, whatever they claim.
    std::set<std::string> setTrustedProxies;
    int nThreads = 0;  // event loops; 0 is one per core
    int nMaxConnections = 4096;
    int nHeadDeadlineMs = 10000;
    // From a request to its answer; past it the answer is 503 (a database
    // that does not answer). 0: no deadline.
    int nAnswerDeadlineMs = 15000;
    size_t nMaxUploadBytes = 256 * 1024;  // a replay's body
    std::string strData;                  // the game's data folder, for replay checks
};

class CRankServer {
public:
    ~CRankServer();
    // Every address is checked before the database is opened or created.
    static std::unique_ptr<CRankServer> Start(const SServerOptions& opt, std::string& strError);
    uint16_t Port() const;
    // "127.0.0.1:8047", "[::1]:8047": one an address, in the order given.
    const std::vector<std::string>& Endpoints() const;

    struct SImpl;

private:
    CRankServer();
    std::unique_ptr<SImpl> m_p;
};
