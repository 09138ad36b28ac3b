// The HTTP client over WinINet: our own header block, no automatic
// redirects, cookies, caching or dialogs; the limits of http.h enforced here
// (time-outs on the request handle, and a watchdog that ends an exchange
// that outlasts the whole-transfer limit).
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

[[noreturn]] void ThrowLastError() {
    throw CInternetException(SystemMessage(GetLastError()));
}

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

// Closes the request handle when the exchange outlasts its limit: the call
// that waits on it then returns with a failure.
class CWatchdog {
public:
    CWatchdog(HINTERNET request, long ms) {
        m_thread = std::thread([this, request, ms] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_bDone; })) {
                m_bFired = true;
                InternetCloseHandle(request);
            }
        });
    }
    ~CWatchdog() { Stop(); }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;
    // True when it fired and closed the handle.
    bool Stop() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_bDone = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_bFired;
    }
    bool Fired() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_bFired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bDone = false;
    bool m_bFired = false;
    std::thread m_thread;
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

    void Perform();
    HINTERNET OpenRequest(HINTERNET connect) const;
    std::string HeaderBlock() const;
    void Exchange(HINTERNET request, CWatchdog& watchdog);
    void ReadBody(HINTERNET request, CWatchdog& watchdog);
};

HINTERNET CHttpFile::CImpl::OpenRequest(HINTERNET connect) const {
    DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                  INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION;
    if (bSecure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    if (!bCredentials || bBasic) {
        flags |= INTERNET_FLAG_NO_AUTH;  // a 401 comes back to the caller
    }
    const wchar_t* accept[] = {nullptr};
    return HttpOpenRequestW(connect, bPost ? L"POST" : L"GET", Wide(strObject).c_str(), L"HTTP/1.1",
                            nullptr, accept, flags, 0);
}

std::string CHttpFile::CImpl::HeaderBlock() const {
    std::string block;
    for (const std::string& line : arrHeaders) {
        block += line + "\r\n";
    }
    if (bCredentials && bBasic && !http::HasHeader(arrHeaders, "authorization")) {
        block += "Authorization: Basic " +
                 Base64(credentials.strUser + ":" + credentials.strPassword) + "\r\n";
    }
    return block;
}

void CHttpFile::CImpl::Perform() {
    nStatus = 0;
    strRawHeaders.clear();
    strResponse.clear();
    nReadPos = 0;
    bFailed = false;
    strFailure.clear();

    std::string host = strServer;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const CInternetHandle connect(InternetConnectW(pShared->session.Get(), Wide(host).c_str(),
                                                   nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                                   0, 0));
    if (!connect.Get()) {
        ThrowLastError();
    }
    CInternetHandle request(OpenRequest(connect.Get()));
    if (!request.Get()) {
        ThrowLastError();
    }
    const CHttpLimits limits = http::Limits();
    SetTimeout(request.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.nConnectMs);
    SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.nStallSeconds * 1000);
    SetTimeout(request.Get(), INTERNET_OPTION_SEND_TIMEOUT, limits.nStallSeconds * 1000);
    if (bCredentials && !bBasic) {
        const std::wstring user = Wide(credentials.strUser);
        const std::wstring password = Wide(credentials.strPassword);
        InternetSetOptionW(request.Get(), INTERNET_OPTION_USERNAME,
                           const_cast<wchar_t*>(user.c_str()), static_cast<DWORD>(user.size()));
        InternetSetOptionW(request.Get(), INTERNET_OPTION_PASSWORD,
                           const_cast<wchar_t*>(password.c_str()),
                           static_cast<DWORD>(password.size()));
    }
    CWatchdog watchdog(request.Get(), limits.nTransferMs);
    try {
        Exchange(request.Get(), watchdog);
    } catch (...) {
        if (watchdog.Stop()) {
            request.Forget();
        }
        throw;
    }
    if (watchdog.Stop()) {
        request.Forget();
    }
}

void CHttpFile::CImpl::Exchange(HINTERNET request, CWatchdog& watchdog) {
    const std::wstring block = Wide(HeaderBlock());
    if (!block.empty() &&
        !HttpAddRequestHeadersW(request, block.c_str(), static_cast<DWORD>(block.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
        ThrowLastError();
    }
    if (!HttpSendRequestW(request, nullptr, 0, bPost ? const_cast<char*>(strBody.data()) : nullptr,
                          bPost ? static_cast<DWORD>(strBody.size()) : 0)) {
        if (watchdog.Fired()) {
            throw CInternetException(kTooSlow);
        }
        ThrowLastError();
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        ThrowLastError();
    }
    strRawHeaders = QueryRawHead(request);
    if (strRawHeaders.size() > http::Limits().nMaxHeaders) {
        strRawHeaders.clear();
        throw CInternetException(kHeadTooLarge);
    }
    nStatus = static_cast<int>(status);
    ReadBody(request, watchdog);
}

// The head arrived: a failure in the body is kept and handed out once the
// bytes before it are read.
void CHttpFile::CImpl::ReadBody(HINTERNET request, CWatchdog& watchdog) {
    const size_t maxBody = http::Limits().nMaxBody;
    std::string chunk;
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            strFailure = watchdog.Fired() ? kTooSlow : SystemMessage(GetLastError());
            break;
        }
        if (available == 0) {
            return;  // the end of the body
        }
        chunk.resize(std::min<DWORD>(available, 1u << 16));
        DWORD got = 0;
        if (!InternetReadFile(request, &chunk[0], static_cast<DWORD>(chunk.size()), &got)) {
            strFailure = watchdog.Fired() ? kTooSlow : SystemMessage(GetLastError());
            break;
        }
        if (got == 0) {
            return;
        }
        if (strResponse.size() + got > maxBody) {
            strFailure = kBodyTooLarge;
            break;
        }
        strResponse.append(chunk, 0, got);
    }
    bFailed = true;
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
