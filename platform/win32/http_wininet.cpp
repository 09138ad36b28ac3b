// The HTTP client over WinINet: our own header block, no automatic
// redirects, cookies, caching or dialogs; the limits of http.h enforced here
// (time-outs on the request handle; the exchange runs on a thread of its own
// so that the caller is back at the whole-transfer limit even while WinINet
// still waits on a server that drips).
#include "platform/win32/wide.h"

#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/credentials.h"
#include "platform/http_internal.h"
#include "platform/url.h"

namespace plat {
namespace {

constexpr const char* kBodyTooLarge = "The response body is larger than the client accepts.";
constexpr const char* kHeadTooLarge = "The response header is larger than the client accepts.";
constexpr const char* kTooSlow = "The transfer took longer than the client allows.";

class CInternetHandle {
public:
    explicit CInternetHandle(HINTERNET h = nullptr) : m_h(h) {}
    ~CInternetHandle() { Close(); }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    HINTERNET Get() const { return m_h; }
    void Close() {
        if (m_h) {
            InternetCloseHandle(m_h);
            m_h = nullptr;
        }
    }
    // The handle was closed by someone else (the watchdog).
    void Forget() { m_h = nullptr; }

private:
    HINTERNET m_h;
};

std::string Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 3; ++k) {
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (size_t k = 0; k < 4; ++k) {
            out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return out;
}

void SetTimeout(HINTERNET h, DWORD option, long ms) {
    DWORD value = ms > 0 ? static_cast<DWORD>(ms) : 1;
    InternetSetOptionW(h, option, &value, sizeof value);
}

std::string QueryRawHead(HINTERNET request) {
    std::wstring head(1024, L'\0');
    for (;;) {
        DWORD bytes = static_cast<DWORD>(head.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, &head[0], &bytes, nullptr)) {
            head.resize(bytes / sizeof(wchar_t));
            return Narrow(head);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return std::string();
        }
        head.resize(bytes / sizeof(wchar_t) + 1);
    }
}

}  // namespace

// One internet session; its requests keep it open while they live.
struct CHttpSession::CShared {
    explicit CShared(HINTERNET h) : session(h) {}
    CInternetHandle session;
};

CHttpSession::CHttpSession(std::string agent) : m_strAgent(std::move(agent)) {
    const std::wstring wideAgent = Wide(m_strAgent);
    m_pShared =
        std::make_shared<CShared>(InternetOpenW(m_strAgent.empty() ? nullptr : wideAgent.c_str(),
                                                INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

CHttpSession::~CHttpSession() = default;

std::unique_ptr<CHttpConnection> CHttpSession::GetHttpConnection(const std::string& server,
                                                                 unsigned short port) {
    if (!m_pShared || !m_pShared->session.Get()) {
        throw CInternetException("The internet session is closed.");
    }
    if (server.empty() || port == 0) {
        throw CInternetException("The URL is invalid.");
    }
    return std::unique_ptr<CHttpConnection>(
        new CHttpConnection(m_pShared, m_strAgent, server, port));
}

void CHttpSession::Close() {
    m_pShared.reset();
}

void CHttpSession::OnStatusCallback(uintptr_t, uint32_t, const void*, uint32_t) {}

// ---------------------------------------------------------------------------

namespace {

// One exchange, shared by the caller and the thread that runs it. Only that
// thread touches its handles; a caller that gives up leaves it to finish.
struct SExchange {
    std::shared_ptr<CHttpSession::CShared> pShared;  // keeps the session open
    std::wstring strHost;
    unsigned short nPort = 0;
    std::wstring strObject;
    std::wstring strHeaders;
    std::string strBody;
    bool bPost = false;
    bool bSecure = false;
    bool bSystemAuth = false;  // WinINet answers a challenge with these
    std::wstring strUser;
    std::wstring strPassword;
    CHttpLimits limits;

    std::mutex mutex;
    std::condition_variable done;
    bool bDone = false;
    bool bAbandoned = false;
    bool bHead = false;      // the response head arrived
    std::string strFailure;  // before the head: the exchange failed; after: the body did
    int nStatus = 0;
    std::string strRawHeaders;
    std::string strResponse;

    void Run();
    bool Send(HINTERNET request);
    void ReadBody(HINTERNET request);
    void Fail(const std::string& why) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (strFailure.empty()) {
            strFailure = why;
        }
    }
};

HINTERNET OpenRequest(const SExchange& x, HINTERNET connect) {
    DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                  INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_KEEP_CONNECTION;
    if (x.bSecure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    if (!x.bSystemAuth) {
        flags |= INTERNET_FLAG_NO_AUTH;  // a 401 comes back to the caller
    }
    const wchar_t* accept[] = {nullptr};
    return HttpOpenRequestW(connect, x.bPost ? L"POST" : L"GET", x.strObject.c_str(), L"HTTP/1.1",
                            nullptr, accept, flags, 0);
}

void SExchange::Run() {
    const CInternetHandle connect(InternetConnectW(pShared->session.Get(), strHost.c_str(), nPort,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const CInternetHandle request(connect.Get() ? OpenRequest(*this, connect.Get()) : nullptr);
    if (!request.Get()) {
        Fail(SystemMessage(GetLastError()));
    } else if (Send(request.Get())) {
        ReadBody(request.Get());
    }
    const std::lock_guard<std::mutex> lock(mutex);
    bDone = true;
    done.notify_all();
}

bool SExchange::Send(HINTERNET request) {
    SetTimeout(request, INTERNET_OPTION_CONNECT_TIMEOUT, limits.nConnectMs);
    SetTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, limits.nStallSeconds * 1000);
    SetTimeout(request, INTERNET_OPTION_SEND_TIMEOUT, limits.nStallSeconds * 1000);
    if (bSystemAuth) {
        InternetSetOptionW(request, INTERNET_OPTION_USERNAME, &strUser[0],
                           static_cast<DWORD>(strUser.size()));
        InternetSetOptionW(request, INTERNET_OPTION_PASSWORD, &strPassword[0],
                           static_cast<DWORD>(strPassword.size()));
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if ((!strHeaders.empty() &&
         !HttpAddRequestHeadersW(request, strHeaders.c_str(), static_cast<DWORD>(strHeaders.size()),
                                 HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) ||
        !HttpSendRequestW(request, nullptr, 0, bPost ? &strBody[0] : nullptr,
                          bPost ? static_cast<DWORD>(strBody.size()) : 0) ||
        !HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        Fail(SystemMessage(GetLastError()));
        return false;
    }
    std::string head = QueryRawHead(request);
    if (head.size() > limits.nMaxHeaders) {
        Fail(kHeadTooLarge);
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex);
    nStatus = static_cast<int>(status);
    strRawHeaders = std::move(head);
    bHead = true;
    return true;
}

void SExchange::ReadBody(HINTERNET request) {
    std::string chunk;
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            Fail(SystemMessage(GetLastError()));
            return;
        }
        DWORD got = 0;
        chunk.resize(std::min<DWORD>(available, 1u << 16));
        if (available > 0 &&
            !InternetReadFile(request, &chunk[0], static_cast<DWORD>(chunk.size()), &got)) {
            Fail(SystemMessage(GetLastError()));
            return;
        }
        const std::lock_guard<std::mutex> lock(mutex);
        if (got == 0 || bAbandoned) {
            return;  // the end of the body, or no one waits for it
        }
        if (strResponse.size() + got > limits.nMaxBody) {
            strFailure = kBodyTooLarge;
            return;
        }
        strResponse.append(chunk, 0, got);
    }
}

}  // namespace

struct CHttpFile::CImpl {
    std::shared_ptr<CHttpSession::CShared> pShared;
    std::string strServer;
    unsigned short nPort = 0;
    std::string strObject;
    bool bPost = false;
    bool bSecure = false;
    std::vector<std::string> arrHeaders;
    std::string strBody;

    bool bCredentials = false;
    bool bBasic = true;  // else WinINet answers the challenge itself
    CCredentials credentials;

    // The last exchange.
    int nStatus = 0;
    std::string strRawHeaders;
    std::string strResponse;
    std::size_t nReadPos = 0;
    bool bFailed = false;
    std::string strFailure;

    std::shared_ptr<SExchange> Prepare() const;
    void Perform();
};

std::shared_ptr<SExchange> CHttpFile::CImpl::Prepare() const {
    auto x = std::make_shared<SExchange>();
    x->pShared = pShared;
    std::string host = strServer;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);  // an IPv6 address as WinINet takes it
    }
    x->strHost = Wide(host);
    x->nPort = nPort;
    x->strObject = Wide(strObject);
    std::string block;
    for (const std::string& line : arrHeaders) {
        block += line + "\r\n";
    }
    if (bCredentials && bBasic && !http::HasHeader(arrHeaders, "authorization")) {
        block += "Authorization: Basic " +
                 Base64(credentials.strUser + ":" + credentials.strPassword) + "\r\n";
    }
    x->strHeaders = Wide(block);
    x->strBody = strBody;
    x->bPost = bPost;
    x->bSecure = bSecure;
    x->bSystemAuth = bCredentials && !bBasic;
    x->strUser = Wide(credentials.strUser);
    x->strPassword = Wide(credentials.strPassword);
    x->limits = http::Limits();
    return x;
}

void CHttpFile::CImpl::Perform() {
    nStatus = 0;
    strRawHeaders.clear();
    strResponse.clear();
    nReadPos = 0;
    bFailed = false;
    strFailure.clear();
    if (!pShared || !pShared->session.Get()) {
        throw CInternetException("The internet session is closed.");
    }
    const std::shared_ptr<SExchange> x = Prepare();
    std::thread([x] { x->Run(); }).detach();
    std::unique_lock<std::mutex> lock(x->mutex);
    if (!x->done.wait_for(lock, std::chrono::milliseconds(x->limits.nTransferMs),
                          [&] { return x->bDone; })) {
        x->bAbandoned = true;
        x->strFailure = kTooSlow;
    }
    if (!x->bHead) {
        throw CInternetException(x->strFailure);
    }
    // The head arrived: a failure in the body is kept and handed out once
    // the bytes before it are read.
    nStatus = x->nStatus;
    strRawHeaders = x->strRawHeaders;
    strResponse = std::move(x->strResponse);
    bFailed = !x->strFailure.empty();
    strFailure = x->strFailure;
}

// ---------------------------------------------------------------------------

CHttpConnection::CHttpConnection(std::shared_ptr<CHttpSession::CShared> shared, std::string agent,
                                 std::string server, unsigned short port)
    : m_pShared(std::move(shared)),
      m_strAgent(std::move(agent)),
      m_strServer(std::move(server)),
      m_nPort(port) {}

CHttpConnection::~CHttpConnection() = default;

std::unique_ptr<CHttpFile> CHttpConnection::OpenRequest(const std::string& verb,
                                                        const std::string& object, uint32_t flags) {
    if (verb != "GET" && verb != "POST") {
        throw CInternetException("The request verb is not supported.");
    }
    const bool secure = (flags & INET_FLAG_SECURE) != 0;
    const std::string path = object.empty() || object[0] != '/' ? "/" + object : object;
    // The same cleaning as any URL we are handed: dot segments resolved,
    // blanks and bytes past ASCII percent-encoded.
    CUrlParts parts;
    if (!ParseUrl(std::string(secure ? "https" : "http") + "://" + m_strServer + ":" +
                      std::to_string(m_nPort) + path,
                  parts)) {
        throw CInternetException("The URL is invalid.");
    }
    auto impl = std::make_unique<CHttpFile::CImpl>();
    impl->pShared = m_pShared;
    impl->strServer = m_strServer;
    impl->nPort = m_nPort;
    impl->strObject = parts.strObject;
    impl->bPost = verb == "POST";
    impl->bSecure = secure;
    return std::unique_ptr<CHttpFile>(new CHttpFile(std::move(impl)));
}

// ---------------------------------------------------------------------------

CHttpFile::CHttpFile(std::unique_ptr<CImpl> impl) : m_pImpl(std::move(impl)) {}
CHttpFile::~CHttpFile() = default;

void CHttpFile::AddRequestHeaders(const std::string& headers) {
    http::AddHeaderLines(m_pImpl->arrHeaders, headers);
}

void CHttpFile::SendRequest(const std::string& headers, const std::string& body) {
    http::AddHeaderLines(m_pImpl->arrHeaders, headers);
    if (!body.empty()) {
        m_pImpl->strBody = body;
    }
    m_pImpl->Perform();
}

int CHttpFile::QueryInfoStatusCode() const {
    return m_pImpl->nStatus;
}

std::string CHttpFile::QueryRawHeaders() const {
    return m_pImpl->strRawHeaders;
}

int CHttpFile::ErrorDlg() {
    const std::string challenge = http::FindChallenge(m_pImpl->strRawHeaders);
    CCredentials answer;
    if (!AskCredentials(m_pImpl->strServer, http::ChallengeRealm(challenge), answer)) {
        return 1;
    }
    m_pImpl->bCredentials = true;
    m_pImpl->credentials = answer;
    // Basic is answered here; any other scheme WinINet answers itself.
    m_pImpl->bBasic =
        challenge.empty() || http::Lower(challenge).find("basic") != std::string::npos;
    return 0;
}

bool CHttpFile::ReadString(std::string& line, std::size_t bufferSize) {
    if (http::NextLine(m_pImpl->strResponse, m_pImpl->nReadPos, line, bufferSize)) {
        return true;
    }
    if (m_pImpl->bFailed) {
        m_pImpl->bFailed = false;
        throw CInternetException(m_pImpl->strFailure);
    }
    return false;
}

}  // namespace plat
