// A small HTTP/1.1 server for the public: epoll loops, keep-alive, every
// request bounded in size and time, answers that may come from any thread.
#pragma once
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct SHttpRequest {
    std::string strMethod;
    std::string strTarget;  // as sent: the path and the query
    std::string strPath;
    std::string strQuery;  // after the first '?', still percent-encoded
    std::vector<std::pair<std::string, std::string>> arrHeaders;  // names in lower case
    std::string strBody;
    std::string strPeer;  // the connection's address, without the port
    size_t nContentLength = 0;
    bool bKeepAlive = true;

    // The first value of a header, or nullptr.
    const std::string* Header(const std::string& strLowerName) const;
    bool IsHead() const { return strMethod == "HEAD"; }
};

struct SHttpResponse {
    int nStatus = 200;
    std::string strContentType = "text/html; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> arrHeaders;
    std::string strBody;  // left out of the answer to HEAD
    // Shown in the log line in place of the peer (the player behind a proxy).
    std::string strLogClient;
    bool bClose = false;
};

// One answer to one request. Send is thread-safe and takes effect once; an
// answer to a connection that has gone meanwhile is dropped. A reply never
// sent is answered 500 when the last reference goes, so no client waits
// forever on a lost callback.
class CHttpReply {
public:
    struct SQueue;
    CHttpReply(std::shared_ptr<SQueue> pQueue, uint64_t nConn, uint64_t nSerial);
    ~CHttpReply();
    CHttpReply(const CHttpReply&) = delete;
    CHttpReply& operator=(const CHttpReply&) = delete;
    void Send(SHttpResponse resp);

private:
    std::shared_ptr<SQueue> m_pQueue;
    uint64_t m_nConn;
    uint64_t m_nSerial;
    std::atomic<bool> m_bSent{false};
};

using Handler = std::function<void(SHttpRequest&&, std::shared_ptr<CHttpReply>)>;

struct SFrontOptions {
    std::vector<std::string> arrAddresses{"127.0.0.1"};
    uint16_t nPort = 0;  // 0 picks a free one, the same for every address
    int nThreads = 0;    // event loops; 0 is one per core
    int nMaxConnections = 4096;
    int nHeadDeadlineMs = 10000;  // from the first byte to the end of the head
    int nBodyDeadlineMs = 20000;
    int nIdleMs = 15000;  // a kept-alive connection waiting for its next request
    // From a request's dispatch to its answer; past it the answer is 503.
    // 0: no deadline (the handler always answers).
    int nAnswerDeadlineMs = 0;
    size_t nMaxHead = 8192;
    // The largest body the request may carry; 0 where none is wanted.
    std::function<size_t(const SHttpRequest&)> fnBodyLimit;
    // Gets one printable line a request; stderr when unset.
    std::function<void(const std::string&)> fnLog;
};

enum class EHead { Incomplete, Complete, Bad };

struct SHeadResult {
    EHead eState = EHead::Incomplete;
    int nStatus = 0;     // the answer for Bad: 400, 414, 431, 501 or 505
    size_t nLength = 0;  // bytes of the head, its blank line included, for Complete
};

// Reads one request head from the start of the bytes; fills req for Complete.
SHeadResult ParseRequestHead(const char* pData, size_t nSize, size_t nMaxHead, SHttpRequest& req);

// A numeric IPv4 or IPv6 address (brackets allowed), as bind takes it.
bool ParseListenAddress(const std::string& strAddress, sockaddr_storage& addr, socklen_t& nLen);
// The address in its canonical text, "" when it is none.
std::string CanonicalAddress(const std::string& strAddress);
// Bytes below 0x20, 0x7F and '\' as \xNN, so a request cannot forge log lines.
std::string Printable(const std::string& strText);

class CHttpFront {
public:
    ~CHttpFront();  // stops the loops and closes every connection
    static std::unique_ptr<CHttpFront> Start(const SFrontOptions& opt, Handler handler,
                                             std::string& strError);
    uint16_t Port() const { return m_nPort; }
    // "127.0.0.1:8047", "[::1]:8047": one an address, in the order given.
    const std::vector<std::string>& Endpoints() const { return m_arrEndpoints; }
    int Connections() const;

    struct SShared;
    class CLoop;

private:
    CHttpFront();
    std::unique_ptr<SShared> m_pShared;
    std::vector<std::unique_ptr<CLoop>> m_arrLoops;
    std::vector<std::thread> m_arrThreads;
    std::vector<int> m_arrListeners;
    std::vector<std::string> m_arrEndpoints;
    uint16_t m_nPort = 0;
};
