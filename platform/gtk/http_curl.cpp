#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <new>
#include <utility>

#include "platform/credentials.h"
#include "platform/http_internal.h"

namespace plat {
namespace {

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

}  // namespace

// Connections and name look-ups are shared by the requests of one session.
struct CHttpSession::CShared {
    CShared() : m_pShare(curl_share_init()) {
        if (m_pShare != nullptr) {
            curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    ~CShared() {
        if (m_pShare != nullptr) {
            curl_share_cleanup(m_pShare);
        }
    }
    CShared(const CShared&) = delete;
    CShared& operator=(const CShared&) = delete;
    CURLSH* m_pShare;
};

CHttpSession::CHttpSession(std::string agent)
    : m_strAgent(std::move(agent)), m_pShared(std::make_shared<CShared>()) {
    InitCurlOnce();
}

CHttpSession::~CHttpSession() = default;

std::unique_ptr<CHttpConnection> CHttpSession::GetHttpConnection(const std::string& server,
                                                                 unsigned short port) {
    if (!m_pShared) {
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
    // Declared first so the transfer handle goes before the share it uses.
    std::shared_ptr<CHttpSession::CShared> pShared;
    EasyPtr pEasy;
    std::string strServer;
    std::string strUrl;
    std::string strAgent;
    bool bPost = false;
    std::vector<std::string> arrHeaders;
    std::string strBody;

    bool bCredentials = false;
    CCredentials credentials;
    long nAuth = CURLAUTH_BASIC;

    // The last exchange.
    int nStatus = 0;
    std::string strRawHeaders;
    std::size_t nHeaderBytes = 0;
    bool bHeadDone = false;
    bool bHeadTooLarge = false;
    bool bBodyTooLarge = false;
    std::string strResponse;
    std::size_t nReadPos = 0;
    bool bFailed = false;
    std::string strFailure;
    char szError[CURL_ERROR_SIZE] = {};

    void AddHeaders(const std::string& block);
    void Configure(const CHttpLimits& limits, curl_slist* headers);
    void Perform();
    void OnHeaderLine(std::string line);
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* user);
    static size_t WriteCallback(char* data, size_t size, size_t count, void* user);
};

void CHttpFile::CImpl::AddHeaders(const std::string& block) {
    http::AddHeaderLines(arrHeaders, block);
}

void CHttpFile::CImpl::OnHeaderLine(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new response head: an interim "100 Continue" is forgotten.
        strRawHeaders.clear();
        bHeadDone = false;
        const std::size_t blank = line.find(' ');
        nStatus = blank == std::string::npos ? 0 : std::atoi(line.c_str() + blank + 1);
    } else if (line.empty() && nStatus >= 200) {
        bHeadDone = true;
    }
    strRawHeaders += line;
    strRawHeaders += "\r\n";
}

size_t CHttpFile::CImpl::HeaderCallback(char* data, size_t size, size_t count, void* user) {
    CImpl* self = static_cast<CImpl*>(user);
    const size_t bytes = size * count;
    self->nHeaderBytes += bytes;
    if (self->nHeaderBytes > http::Limits().nMaxHeaders) {
        self->bHeadTooLarge = true;
        return 0;
    }
    try {
        self->OnHeaderLine(std::string(data, bytes));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return bytes;
}

size_t CHttpFile::CImpl::WriteCallback(char* data, size_t size, size_t count, void* user) {
    CImpl* self = static_cast<CImpl*>(user);
    const size_t bytes = size * count;
    if (self->strResponse.size() + bytes > http::Limits().nMaxBody) {
        self->bBodyTooLarge = true;
        return 0;
    }
    try {
        self->strResponse.append(data, bytes);
    } catch (const std::bad_alloc&) {
        self->bBodyTooLarge = true;
        return 0;
    }
    return bytes;
}

void CHttpFile::CImpl::Configure(const CHttpLimits& limits, curl_slist* headers) {
    CURL* easy = pEasy.get();
    curl_easy_reset(easy);
    curl_easy_setopt(easy, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SHARE, pShared->m_pShare);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.nConnectMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.nStallSeconds);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.nTransferMs);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, szError);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CImpl::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CImpl::WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    if (!http::HasHeader(arrHeaders, "user-agent") && !strAgent.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERAGENT, strAgent.c_str());
    }
    if (bPost) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, strBody.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(strBody.size()));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    if (bCredentials) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, nAuth);
        curl_easy_setopt(easy, CURLOPT_USERNAME, credentials.strUser.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, credentials.strPassword.c_str());
    }
}

void CHttpFile::CImpl::Perform() {
    SlistPtr headers;
    for (const std::string& line : arrHeaders) {
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    }
    // No waiting for a "100 Continue" that many servers never send.
    headers.reset(curl_slist_append(headers.release(), "Expect:"));

    nStatus = 0;
    strRawHeaders.clear();
    nHeaderBytes = 0;
    bHeadDone = bHeadTooLarge = bBodyTooLarge = bFailed = false;
    strResponse.clear();
    nReadPos = 0;
    strFailure.clear();
    szError[0] = '\0';

    Configure(http::Limits(), headers.get());
    const CURLcode code = curl_easy_perform(pEasy.get());
    if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(pEasy.get(), CURLINFO_RESPONSE_CODE, &status);
        nStatus = static_cast<int>(status);
        return;
    }
    std::string message = szError[0] != '\0' ? szError : curl_easy_strerror(code);
    if (bBodyTooLarge) {
        message = "The response body is larger than the client accepts.";
    } else if (bHeadTooLarge) {
        message = "The response header is larger than the client accepts.";
    }
    if (!bHeadDone) {
        throw CInternetException(message);
    }
    // The head arrived: the body read so far is handed out before the failure.
    bFailed = true;
    strFailure = message;
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
    const std::string scheme = (flags & INET_FLAG_SECURE) != 0 ? "https" : "http";
    const std::string path = object.empty() || object[0] != '/' ? "/" + object : object;
    const std::string url = scheme + "://" + m_strServer + ":" + std::to_string(m_nPort) + path;

    CURLU* parsed = curl_url();
    char* text = nullptr;
    const bool ok = parsed != nullptr && url.find('\0') == std::string::npos &&
                    curl_url_set(parsed, CURLUPART_URL, url.c_str(),
                                 CURLU_ALLOW_SPACE | CURLU_URLENCODE) == CURLUE_OK &&
                    curl_url_get(parsed, CURLUPART_URL, &text, 0) == CURLUE_OK;
    std::string normal = ok && text != nullptr ? text : "";
    curl_free(text);
    curl_url_cleanup(parsed);
    if (normal.empty()) {
        throw CInternetException("The URL is invalid.");
    }

    auto impl = std::make_unique<CHttpFile::CImpl>();
    impl->pShared = m_pShared;
    impl->pEasy.reset(curl_easy_init());
    if (!impl->pEasy) {
        throw CInternetException("The request could not be created.");
    }
    impl->strServer = m_strServer;
    impl->strUrl = std::move(normal);
    impl->strAgent = m_strAgent;
    impl->bPost = verb == "POST";
    return std::unique_ptr<CHttpFile>(new CHttpFile(std::move(impl)));
}

// ---------------------------------------------------------------------------

CHttpFile::CHttpFile(std::unique_ptr<CImpl> impl) : m_pImpl(std::move(impl)) {}
CHttpFile::~CHttpFile() = default;

void CHttpFile::AddRequestHeaders(const std::string& headers) {
    m_pImpl->AddHeaders(headers);
}

void CHttpFile::SendRequest(const std::string& headers, const std::string& body) {
    m_pImpl->AddHeaders(headers);
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
    m_pImpl->nAuth = http::Lower(challenge).find("digest") != std::string::npos ? CURLAUTH_DIGEST
                                                                                : CURLAUTH_BASIC;
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
