// Why our own loop: the HTTP library this server used before (Debian's
// 0.9.75, internal epoll thread) took at most 128 events a wait. When a wait
// filled that array it handled the batch and then waited again with the
// timeout it had computed before the batch, the ~10 s connection time-out,
// although the connections it had not reached yet had requests waiting. At
// 256, 384 or 512 busy connections every batch came back full, so the loop
// spent its time asleep: a few hundred requests a second at 1-2 % CPU.
// Here the listening sockets and the connections are level-triggered, so
// nothing ready is ever forgotten between waits; a full batch is followed by
// a wait that does not sleep, and every wait's timeout is computed just
// before it from the deadlines that are actually pending.
//
// One listening socket an address, shared by every loop with EPOLLEXCLUSIVE:
// a loop busy in a handler leaves new connections to the others (with one
// SO_REUSEPORT socket a loop the kernel would queue them behind it), and a
// second server started on the same port fails at bind instead of silently
// taking half the connections.
#include "server/HttpFront.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxHeaders = 100;
constexpr size_t kReadChunk = 16384;
constexpr int kMaxEvents = 256;
constexpr int kSweepMs = 100;
constexpr int kMaxDrainRounds = 16;
constexpr int kLingerMs = 2000;
constexpr size_t kMaxLingerBytes = 1 << 20;
constexpr uint64_t kEventId = 0;
constexpr uint64_t kFirstConnId = uint64_t{1} << 32;  // below: listener index + 1

bool IsTokenChar(unsigned char c) {
    return c > 0x20 && c < 0x7F && !std::strchr("\"(),/:;<=>?@[\\]{}", c);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), Lower);
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

// Whether a comma-separated header value lists the token.
bool HasToken(const std::string& value, const char* token) {
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos)
            end = value.size();
        if (LowerCase(Trim(value.substr(start, end - start))) == token)
            return true;
        start = end + 1;
    }
    return false;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Status";
    }
}

std::string ErrorPage(int status) {
    return "<!DOCTYPE html><title>" + std::to_string(status) + "</title><p>" + Reason(status) +
           ".</p>\n";
}

std::string Serialize(const SHttpResponse& r, bool bHead, bool bKeepAlive) {
    std::string out = "HTTP/1.1 " + std::to_string(r.nStatus) + " " + Reason(r.nStatus) +
                      "\r\nContent-Type: " + r.strContentType +
                      "\r\nContent-Length: " + std::to_string(r.strBody.size()) +
                      "\r\nX-Content-Type-Options: nosniff\r\nConnection: " +
                      (bKeepAlive ? "keep-alive" : "close") + "\r\n";
    for (const auto& h : r.arrHeaders)
        out += h.first + ": " + h.second + "\r\n";
    out += "\r\n";
    if (!bHead)
        out += r.strBody;
    return out;
}

struct SLine {
    size_t nBegin, nEnd, nNext;  // [begin, end) without the line end; next line
};

// One line ending in LF (a CR before it is dropped); false when no LF yet.
bool NextLine(const char* p, size_t n, size_t from, SLine& line) {
    const void* lf = std::memchr(p + from, '\n', n - from);
    if (!lf)
        return false;
    const size_t at = static_cast<size_t>(static_cast<const char*>(lf) - p);
    line.nBegin = from;
    line.nEnd = at > from && p[at - 1] == '\r' ? at - 1 : at;
    line.nNext = at + 1;
    return true;
}

SHeadResult Bad(int status) {
    SHeadResult r;
    r.eState = EHead::Bad;
    r.nStatus = status;
    return r;
}

int ParseRequestLine(const std::string& line, SHttpRequest& req, bool& bHttp10) {
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos)
        return 400;
    req.strMethod = line.substr(0, sp1);
    req.strTarget = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = line.substr(sp2 + 1);
    if (req.strMethod.empty() ||
        !std::all_of(req.strMethod.begin(), req.strMethod.end(),
                     [](char c) { return IsTokenChar(static_cast<unsigned char>(c)); }))
        return 400;
    if (req.strTarget.empty() || req.strTarget[0] != '/' ||
        !std::all_of(req.strTarget.begin(), req.strTarget.end(), [](char c) {
            return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
        }))
        return 400;
    if (version.size() != 8 || version.compare(0, 5, "HTTP/") != 0 || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
        return 400;
    if (version[5] != '1')
        return 505;
    bHttp10 = version[7] == '0';
    const size_t q = req.strTarget.find('?');
    req.strPath = req.strTarget.substr(0, q);
    req.strQuery = q == std::string::npos ? "" : req.strTarget.substr(q + 1);
    return 0;
}

int ParseHeaderLine(const std::string& line, SHttpRequest& req) {
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos)
        return 400;  // also a folded line, which starts with a blank
    for (size_t i = 0; i < colon; ++i)
        if (!IsTokenChar(static_cast<unsigned char>(line[i])))
            return 400;
    for (size_t i = colon + 1; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return 400;
    }
    if (req.arrHeaders.size() >= kMaxHeaders)
        return 431;
    req.arrHeaders.emplace_back(LowerCase(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    return 0;
}

// Framing and connection headers; 0 when the request may go on.
int CheckFraming(SHttpRequest& req, bool bHttp10) {
    bool bLength = false;
    for (const auto& h : req.arrHeaders) {
        if (h.first == "transfer-encoding")
            return 501;  // chunked bodies are not taken
        if (h.first != "content-length")
            continue;
        if (h.second.empty() || h.second.size() > 12 ||
            !std::all_of(h.second.begin(), h.second.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            return 400;
        const size_t n = std::stoull(h.second);
        if (bLength && n != req.nContentLength)
            return 400;
        req.nContentLength = n;
        bLength = true;
    }
    const std::string* conn = req.Header("connection");
    req.bKeepAlive =
        bHttp10 ? conn && HasToken(*conn, "keep-alive") : !conn || !HasToken(*conn, "close");
    return 0;
}

int64_t MsUntil(Clock::time_point t, Clock::time_point now) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count();
}

}  // namespace

const std::string* SHttpRequest::Header(const std::string& strLowerName) const {
    for (const auto& h : arrHeaders)
        if (h.first == strLowerName)
            return &h.second;
    return nullptr;
}

SHeadResult ParseRequestHead(const char* pData, size_t nSize, size_t nMaxHead, SHttpRequest& req) {
    const size_t n = std::min(nSize, nMaxHead);
    size_t from = 0;
    SLine line{};
    // Blank lines before a request are allowed, a few of them.
    while (from < n && from < 8 && (pData[from] == '\r' || pData[from] == '\n'))
        ++from;
    if (!NextLine(pData, n, from, line))
        return nSize >= nMaxHead ? Bad(414) : SHeadResult{};
    req = SHttpRequest();
    bool bHttp10 = false;
    const std::string first(pData + line.nBegin, line.nEnd - line.nBegin);
    if (first.find('\r') != std::string::npos || first.find('\0') != std::string::npos)
        return Bad(400);
    if (const int status = ParseRequestLine(first, req, bHttp10))
        return Bad(status);
    for (from = line.nNext;;) {
        if (!NextLine(pData, n, from, line))
            return nSize >= nMaxHead ? Bad(431) : SHeadResult{};
        from = line.nNext;
        if (line.nEnd == line.nBegin)
            break;
        const std::string text(pData + line.nBegin, line.nEnd - line.nBegin);
        if (text.find('\r') != std::string::npos)
            return Bad(400);
        if (const int status = ParseHeaderLine(text, req))
            return Bad(status);
    }
    if (const int status = CheckFraming(req, bHttp10))
        return Bad(status);
    SHeadResult r;
    r.eState = EHead::Complete;
    r.nLength = from;
    return r;
}

bool ParseListenAddress(const std::string& strAddress, sockaddr_storage& addr, socklen_t& nLen) {
    std::string a = strAddress;
    if (a.size() > 2 && a.front() == '[' && a.back() == ']')
        a = a.substr(1, a.size() - 2);
    addr = sockaddr_storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (inet_pton(AF_INET, a.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        nLen = sizeof(sockaddr_in);
        return true;
    }
    if (a.find('%') == std::string::npos && inet_pton(AF_INET6, a.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        nLen = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

namespace {

std::string AddressText(const sockaddr_storage& addr) {
    char buf[INET6_ADDRSTRLEN] = "?";
    if (addr.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr, buf, sizeof buf);
    else if (addr.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr, buf,
                  sizeof buf);
    return buf;
}

}  // namespace

std::string CanonicalAddress(const std::string& strAddress) {
    sockaddr_storage addr;
    socklen_t len = 0;
    return ParseListenAddress(strAddress, addr, len) ? AddressText(addr) : "";
}

std::string Printable(const std::string& strText) {
    std::string out;
    for (const char ch : strText) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

// Answers waiting for their loop, filled from any thread.
struct CHttpReply::SQueue {
    std::mutex mutex;
    struct SDone {
        uint64_t nConn, nSerial;
        SHttpResponse resp;
    };
    std::vector<SDone> arrDone;
    int fdEvent = -1;
    bool bStopped = false;
    SQueue() : fdEvent(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~SQueue() {
        if (fdEvent >= 0)
            close(fdEvent);
    }
    void Wake() const {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(fdEvent, &one, sizeof one);
    }
    void Push(uint64_t nConn, uint64_t nSerial, SHttpResponse&& resp);
};

namespace {
// The queue of the loop running on this thread: its own answers need no
// wake-up, the loop drains its queue until it is empty before it waits.
thread_local CHttpReply::SQueue* tls_pOwnQueue = nullptr;
}  // namespace

void CHttpReply::SQueue::Push(uint64_t nConn, uint64_t nSerial, SHttpResponse&& resp) {
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (bStopped)
            return;
        bWake = arrDone.empty() && tls_pOwnQueue != this;
        arrDone.push_back({nConn, nSerial, std::move(resp)});
    }
    if (bWake)
        Wake();
}

CHttpReply::CHttpReply(std::shared_ptr<SQueue> pQueue, uint64_t nConn, uint64_t nSerial)
    : m_pQueue(std::move(pQueue)), m_nConn(nConn), m_nSerial(nSerial) {}

CHttpReply::~CHttpReply() {
    if (!m_bSent.exchange(true)) {
        SHttpResponse r;
        r.nStatus = 500;
        r.strBody = ErrorPage(500);
        r.bClose = true;
        m_pQueue->Push(m_nConn, m_nSerial, std::move(r));
    }
}

void CHttpReply::Send(SHttpResponse resp) {
    if (!m_bSent.exchange(true))
        m_pQueue->Push(m_nConn, m_nSerial, std::move(resp));
}

struct CHttpFront::SShared {
    SFrontOptions opt;
    Handler handler;
    std::atomic<int> nConnections{0};
    std::atomic<bool> bStop{false};
    std::atomic<uint64_t> nNextId{kFirstConnId};
};

class CHttpFront::CLoop {
public:
    CLoop(SShared& shared, const std::vector<int>& arrListeners)
        : m_shared(shared),
          m_arrListeners(arrListeners),
          m_pQueue(std::make_shared<CHttpReply::SQueue>()) {
        m_fdEpoll = epoll_create1(EPOLL_CLOEXEC);
    }
    ~CLoop() {
        if (m_fdEpoll >= 0)
            close(m_fdEpoll);
    }
    bool Ready() const { return m_fdEpoll >= 0 && m_pQueue->fdEvent >= 0; }
    void Wake() const { m_pQueue->Wake(); }
    void Run();

private:
    enum class EState { Reading, Body, Busy, Writing, Lingering };
    struct SConn {
        int fd = -1;
        uint64_t nId = 0;
        uint64_t nSerial = 0;  // of the request in hand: a late answer to an earlier one is dropped
        std::string strPeer;
        std::string strIn, strOut;
        size_t nOutPos = 0, nLingered = 0;
        EState eState = EState::Reading;
        bool bIdle = false;  // kept alive, no byte of the next request yet
        bool bCloseAfter = false;
        uint32_t nEvents = 0;
        Clock::time_point tDeadline;
        SHttpRequest req;  // while its body comes in
        std::string strLogMethod, strLogTarget;
        bool bHead = false, bKeepAlive = true;
    };

    void Watch(int fd, uint64_t id, uint32_t events, int op) const {
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = id;
        epoll_ctl(m_fdEpoll, op, fd, &ev);
    }
    void SetEvents(SConn& c, uint32_t events) {
        if (c.nEvents != events) {
            c.nEvents = events;
            Watch(c.fd, c.nId, events, EPOLL_CTL_MOD);
        }
    }
    void WatchListeners(bool bOn) {
        for (size_t i = 0; i < m_arrListeners.size(); ++i)
            Watch(m_arrListeners[i], i + 1, EPOLLIN | EPOLLEXCLUSIVE,
                  bOn ? EPOLL_CTL_ADD : EPOLL_CTL_DEL);
        m_bListening = bOn;
    }
    void Accept(int fdListen);
    void OnEvent(SConn& c, uint32_t events);
    void ReadSome(SConn& c);
    void Advance(SConn& c);
    void Dispatch(SConn& c);
    void Refuse(SConn& c, int status);
    void Deliver(uint64_t nId, uint64_t nSerial, SHttpResponse&& resp);
    void Flush(SConn& c);
    void AfterWrite(SConn& c);
    void Close(uint64_t nId);
    bool DrainQueue();
    void Sweep(Clock::time_point now);
    void Log(const std::string& client, const std::string& method, const std::string& target,
             int status) const;

    SShared& m_shared;
    std::vector<int> m_arrListeners;
    std::shared_ptr<CHttpReply::SQueue> m_pQueue;
    int m_fdEpoll = -1;
    bool m_bListening = false;
    std::unordered_map<uint64_t, std::unique_ptr<SConn>> m_conns;
    std::vector<uint64_t> m_arrClosing;
};

void CHttpFront::CLoop::Log(const std::string& client, const std::string& method,
                            const std::string& target, int status) const {
    const std::string line = Printable(client) + " " + Printable(method.empty() ? "-" : method) +
                             " " + Printable(target.empty() ? "-" : target) + " " +
                             std::to_string(status);
    if (m_shared.opt.fnLog)
        m_shared.opt.fnLog(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

void CHttpFront::CLoop::Run() {
    tls_pOwnQueue = m_pQueue.get();
    Watch(m_pQueue->fdEvent, kEventId, EPOLLIN, EPOLL_CTL_ADD);
    WatchListeners(true);
    epoll_event events[kMaxEvents];
    Clock::time_point nextSweep = Clock::now();
    bool bFull = false;
    while (!m_shared.bStop.load()) {
        // Computed now, not before the last batch: a full batch means more is
        // ready, so the next wait must not sleep at all.
        const auto now = Clock::now();
        const int timeout =
            bFull ? 0 : static_cast<int>(std::max<int64_t>(0, MsUntil(nextSweep, now)) + 1);
        const int n = epoll_wait(m_fdEpoll, events, kMaxEvents, timeout);
        bFull = n == kMaxEvents;
        for (int i = 0; i < n; ++i) {
            const uint64_t id = events[i].data.u64;
            if (id == kEventId) {
                uint64_t count;
                [[maybe_unused]] const ssize_t r = read(m_pQueue->fdEvent, &count, sizeof count);
            } else if (id < kFirstConnId) {
                Accept(m_arrListeners[id - 1]);
            } else {
                const auto it = m_conns.find(id);
                if (it != m_conns.end())
                    OnEvent(*it->second, events[i].events);
            }
        }
        // Answers given on this thread while draining (the next pipelined
        // request's) are drained too; a loop with more left does not sleep.
        bFull = DrainQueue() || bFull;
        for (const uint64_t id : m_arrClosing)
            Close(id);
        m_arrClosing.clear();
        if (Clock::now() >= nextSweep) {
            Sweep(Clock::now());
            nextSweep = Clock::now() + std::chrono::milliseconds(kSweepMs);
            bFull = DrainQueue() || bFull;  // answers to requests the sweep let through
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_pQueue->mutex);
        m_pQueue->bStopped = true;
        m_pQueue->arrDone.clear();
    }
    std::vector<uint64_t> ids;
    for (const auto& c : m_conns)
        ids.push_back(c.first);
    for (const uint64_t id : ids)
        Close(id);
    tls_pOwnQueue = nullptr;
}

void CHttpFront::CLoop::Accept(int fdListen) {
    for (int i = 0; i < 64; ++i) {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        const int fd = accept4(fdListen, reinterpret_cast<sockaddr*>(&addr), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: stop listening until the next sweep rather
            // than spin on a listener that stays readable.
            if ((errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) &&
                m_bListening)
                WatchListeners(false);
            return;
        }
        if (m_shared.nConnections.fetch_add(1) >= m_shared.opt.nMaxConnections) {
            m_shared.nConnections.fetch_sub(1);
            static const char kFull[] =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: "
                "close\r\n\r\n";
            [[maybe_unused]] const ssize_t n = send(fd, kFull, sizeof kFull - 1, MSG_NOSIGNAL);
            close(fd);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<SConn>();
        c->fd = fd;
        c->nId = m_shared.nNextId.fetch_add(1);
        c->strPeer = AddressText(addr);
        c->tDeadline = Clock::now() + std::chrono::milliseconds(m_shared.opt.nHeadDeadlineMs);
        c->nEvents = EPOLLIN | EPOLLRDHUP;
        Watch(fd, c->nId, c->nEvents, EPOLL_CTL_ADD);
        m_conns.emplace(c->nId, std::move(c));
    }
}

void CHttpFront::CLoop::OnEvent(SConn& c, uint32_t events) {
    if (events & (EPOLLERR | EPOLLHUP)) {
        m_arrClosing.push_back(c.nId);
        return;
    }
    if ((events & EPOLLOUT) && c.eState == EState::Writing)
        Flush(c);
    else if (events & (EPOLLIN | EPOLLRDHUP))
        ReadSome(c);
}

void CHttpFront::CLoop::ReadSome(SConn& c) {
    char buf[kReadChunk];
    const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        m_arrClosing.push_back(c.nId);  // the client has gone, or half-closed
        return;
    }
    if (n < 0)
        return;
    if (c.eState == EState::Lingering) {
        c.nLingered += static_cast<size_t>(n);
        if (c.nLingered > kMaxLingerBytes)
            m_arrClosing.push_back(c.nId);
        return;
    }
    if (c.bIdle) {
        // The head's deadline runs from its first byte, however slowly the rest comes.
        c.bIdle = false;
        c.tDeadline = Clock::now() + std::chrono::milliseconds(m_shared.opt.nHeadDeadlineMs);
    }
    c.strIn.append(buf, static_cast<size_t>(n));
    Advance(c);
}

void CHttpFront::CLoop::Advance(SConn& c) {
    if (c.eState == EState::Reading) {
        if (c.strIn.empty())
            return;
        SHttpRequest req;
        const SHeadResult head =
            ParseRequestHead(c.strIn.data(), c.strIn.size(), m_shared.opt.nMaxHead, req);
        if (head.eState == EHead::Incomplete)
            return;
        if (head.eState == EHead::Bad) {
            c.strLogMethod.clear();
            c.strLogTarget = c.strIn.substr(0, std::min<size_t>(c.strIn.find('\n'), 200));
            if (!c.strLogTarget.empty() && c.strLogTarget.back() == '\r')
                c.strLogTarget.pop_back();
            Refuse(c, head.nStatus);
            return;
        }
        c.strIn.erase(0, head.nLength);
        req.strPeer = c.strPeer;
        c.strLogMethod = req.strMethod;
        c.strLogTarget = req.strTarget;
        c.req = std::move(req);
        if (c.req.nContentLength > 0) {
            const size_t limit = m_shared.opt.fnBodyLimit ? m_shared.opt.fnBodyLimit(c.req) : 0;
            if (c.req.nContentLength > limit) {
                Refuse(c, 413);
                return;
            }
            c.eState = EState::Body;
            c.tDeadline = Clock::now() + std::chrono::milliseconds(m_shared.opt.nBodyDeadlineMs);
        } else {
            Dispatch(c);
            return;
        }
    }
    if (c.eState == EState::Body && c.strIn.size() >= c.req.nContentLength) {
        c.req.strBody = c.strIn.substr(0, c.req.nContentLength);
        c.strIn.erase(0, c.req.nContentLength);
        Dispatch(c);
    }
}

void CHttpFront::CLoop::Dispatch(SConn& c) {
    c.eState = EState::Busy;
    c.bHead = c.req.IsHead();
    c.bKeepAlive = c.req.bKeepAlive;
    // Past its deadline a request is answered 503 by the sweep; without one,
    // the reply's destructor answers at the latest.
    c.tDeadline = m_shared.opt.nAnswerDeadlineMs > 0
                      ? Clock::now() + std::chrono::milliseconds(m_shared.opt.nAnswerDeadlineMs)
                      : Clock::time_point::max();
    SetEvents(c, 0);  // pipelined requests wait in the socket until this one is answered
    auto reply = std::make_shared<CHttpReply>(m_pQueue, c.nId, ++c.nSerial);
    SHttpRequest req = std::move(c.req);
    c.req = SHttpRequest();
    m_shared.handler(std::move(req), std::move(reply));
}

void CHttpFront::CLoop::Refuse(SConn& c, int status) {
    SHttpResponse r;
    r.nStatus = status;
    r.strBody = ErrorPage(status);
    r.bClose = true;
    c.eState = EState::Busy;
    c.bHead = false;
    Deliver(c.nId, c.nSerial, std::move(r));
}

void CHttpFront::CLoop::Deliver(uint64_t nId, uint64_t nSerial, SHttpResponse&& resp) {
    const auto it = m_conns.find(nId);
    if (it == m_conns.end() || it->second->eState != EState::Busy || it->second->nSerial != nSerial)
        return;  // the client left before its answer, or it was answered at its deadline
    SConn& c = *it->second;
    const bool bKeep = c.bKeepAlive && !resp.bClose && !m_shared.bStop.load();
    Log(resp.strLogClient.empty() ? c.strPeer : resp.strLogClient, c.strLogMethod, c.strLogTarget,
        resp.nStatus);
    c.strOut = Serialize(resp, c.bHead, bKeep);
    c.nOutPos = 0;
    c.bCloseAfter = !bKeep;
    c.eState = EState::Writing;
    c.tDeadline = Clock::now() + std::chrono::milliseconds(m_shared.opt.nIdleMs);
    Flush(c);
}

void CHttpFront::CLoop::Flush(SConn& c) {
    while (c.nOutPos < c.strOut.size()) {
        const ssize_t n =
            send(c.fd, c.strOut.data() + c.nOutPos, c.strOut.size() - c.nOutPos, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            SetEvents(c, EPOLLOUT);
            return;
        }
        if (n <= 0 && errno != EINTR) {
            m_arrClosing.push_back(c.nId);
            return;
        }
        if (n > 0)
            c.nOutPos += static_cast<size_t>(n);
    }
    AfterWrite(c);
}

void CHttpFront::CLoop::AfterWrite(SConn& c) {
    c.strOut.clear();
    c.nOutPos = 0;
    if (c.bCloseAfter) {
        // Unread bytes at close would reset the connection and could destroy the
        // answer on its way; read and drop them for a moment first.
        shutdown(c.fd, SHUT_WR);
        c.eState = EState::Lingering;
        c.tDeadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
        SetEvents(c, EPOLLIN | EPOLLRDHUP);
        return;
    }
    c.eState = EState::Reading;
    c.bIdle = c.strIn.empty();
    c.tDeadline = Clock::now() + std::chrono::milliseconds(c.bIdle ? m_shared.opt.nIdleMs
                                                                   : m_shared.opt.nHeadDeadlineMs);
    SetEvents(c, EPOLLIN | EPOLLRDHUP);
    Advance(c);
}

void CHttpFront::CLoop::Close(uint64_t nId) {
    const auto it = m_conns.find(nId);
    if (it == m_conns.end())
        return;
    epoll_ctl(m_fdEpoll, EPOLL_CTL_DEL, it->second->fd, nullptr);
    close(it->second->fd);
    m_conns.erase(it);
    m_shared.nConnections.fetch_sub(1);
}

// True when answers are still waiting after a bounded number of rounds.
bool CHttpFront::CLoop::DrainQueue() {
    std::vector<CHttpReply::SQueue::SDone> done;
    for (int round = 0; round < kMaxDrainRounds; ++round) {
        done.clear();
        {
            std::lock_guard<std::mutex> lock(m_pQueue->mutex);
            done.swap(m_pQueue->arrDone);
        }
        if (done.empty())
            return false;
        for (auto& d : done)
            Deliver(d.nConn, d.nSerial, std::move(d.resp));
    }
    std::lock_guard<std::mutex> lock(m_pQueue->mutex);
    return !m_pQueue->arrDone.empty();
}

void CHttpFront::CLoop::Sweep(Clock::time_point now) {
    if (!m_bListening)
        WatchListeners(true);
    for (auto& entry : m_conns) {
        SConn& c = *entry.second;
        if (c.tDeadline > now)
            continue;
        if (c.eState == EState::Busy) {
            // The handler has not answered in time (a database that hangs):
            // say so; its answer, should it still come, is dropped.
            SHttpResponse r;
            r.nStatus = 503;
            r.strBody = ErrorPage(503);
            r.arrHeaders.emplace_back("Retry-After", "5");
            Deliver(c.nId, c.nSerial, std::move(r));
            continue;
        }
        if ((c.eState == EState::Reading && !c.bIdle && !c.strIn.empty()) ||
            c.eState == EState::Body) {
            // A head or body that did not come in time: say so, then close.
            c.strLogMethod = c.eState == EState::Body ? c.strLogMethod : "";
            c.strLogTarget = c.eState == EState::Body ? c.strLogTarget : "";
            c.strIn.clear();
            c.bKeepAlive = false;
            Refuse(c, 408);
            if (c.eState == EState::Lingering || c.eState == EState::Writing)
                continue;
        }
        m_arrClosing.push_back(c.nId);
    }
    for (const uint64_t id : m_arrClosing)
        Close(id);
    m_arrClosing.clear();
}

CHttpFront::CHttpFront() : m_pShared(std::make_unique<SShared>()) {}

CHttpFront::~CHttpFront() {
    m_pShared->bStop = true;
    for (const auto& loop : m_arrLoops)
        loop->Wake();
    for (std::thread& t : m_arrThreads)
        t.join();
    m_arrLoops.clear();
    for (const int fd : m_arrListeners)
        close(fd);
}

int CHttpFront::Connections() const {
    return m_pShared->nConnections.load();
}

namespace {

int Listen(const sockaddr_storage& addr, socklen_t len, std::string& strError) {
    const int fd = socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        strError = std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (addr.ss_family == AF_INET6)  // "::" means IPv6 only; give 0.0.0.0 as well for both
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0 || listen(fd, 4096) != 0) {
        strError = std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

uint16_t BoundPort(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}

}  // namespace

std::unique_ptr<CHttpFront> CHttpFront::Start(const SFrontOptions& opt, Handler handler,
                                              std::string& strError) {
    std::vector<std::pair<sockaddr_storage, socklen_t>> addrs;
    for (const std::string& a : opt.arrAddresses) {
        sockaddr_storage addr;
        socklen_t len = 0;
        if (!ParseListenAddress(a, addr, len)) {
            strError = "not an IPv4 or IPv6 address: " + a;
            return nullptr;
        }
        addrs.emplace_back(addr, len);
    }
    if (addrs.empty() || !handler || opt.nMaxConnections < 1) {
        strError = "nothing to listen on";
        return nullptr;
    }
    std::unique_ptr<CHttpFront> front(new CHttpFront);
    front->m_pShared->opt = opt;
    front->m_pShared->handler = std::move(handler);
    uint16_t port = opt.nPort;
    for (auto& a : addrs) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&a.first);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&a.first);
        (a.first.ss_family == AF_INET ? v4->sin_port : v6->sin6_port) = htons(port);
        std::string why;
        const int fd = Listen(a.first, a.second, why);
        const std::string text = AddressText(a.first);
        if (fd < 0) {
            strError = "cannot listen on " + text + ":" + std::to_string(port) + ": " + why;
            return nullptr;
        }
        front->m_arrListeners.push_back(fd);
        port = BoundPort(fd);  // a free port chosen for the first is used for all
        front->m_arrEndpoints.push_back((a.first.ss_family == AF_INET6 ? "[" + text + "]" : text) +
                                        ":" + std::to_string(port));
    }
    front->m_nPort = port;
    const int threads = opt.nThreads > 0
                            ? opt.nThreads
                            : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    for (int i = 0; i < threads; ++i) {
        front->m_arrLoops.push_back(
            std::make_unique<CLoop>(*front->m_pShared, front->m_arrListeners));
        if (!front->m_arrLoops.back()->Ready()) {
            strError = "cannot create an event loop";
            return nullptr;
        }
    }
    for (const auto& loop : front->m_arrLoops)
        front->m_arrThreads.emplace_back([p = loop.get()] { p->Run(); });
    return front;
}
