// The HTTP front of the ranking: limits for the public, one log line a request.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "server/RankStore.h"

struct MHD_Daemon;

struct SServerOptions {
    std::string strAddress = "127.0.0.1";
    uint16_t nPort = 8047;  // 0 picks a free one
    std::string strDb = "ranking.db";
    int nSubmitsPerMinute = 10;  // from one address
    // Behind a reverse proxy on this machine every request comes from
    // 127.0.0.1: take the player's address from the proxy's X-Real-IP and
    // leave the per-address connection limit to the proxy.
    bool bBehindProxy = false;
};

class CRankServer {
public:
    ~CRankServer();
    static std::unique_ptr<CRankServer> Start(const SServerOptions& opt, std::string& strError);
    uint16_t Port() const { return m_nPort; }

    // Used by the request handler.
    struct SImpl;
    std::unique_ptr<SImpl> m_p;

private:
    CRankServer();
    MHD_Daemon* m_pDaemon = nullptr;
    uint16_t m_nPort = 0;
};
