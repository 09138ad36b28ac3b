#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <new>
#include <utility>

#include "platform/credentials.h"
#include "platform/http.h"

namespace plat {
namespace {

CHttpLimits& Limits() {
    static CHttpLimits limits;
    return limits;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

std::string HeaderName(const std::string& line) {
    return Lower(line.substr(0, line.find(':')));
}

// A header line fit to send: "Name: value" with no control characters, so
// nothing a caller hands over can start a header of its own.
bool CleanHeaderLine(std::string& line) {
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    line.erase(0, line.find_first_not_of(" \t"));
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        const bool control = (c < 0x20 && c != '\t') || c == 0x7f;
        if (control || (i < colon && (c == ' ' || c == '\t'))) {
            return false;
        }
    }
    return true;
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

// The realm of a challenge line: WWW-Authenticate: Basic realm="name".
std::string ChallengeRealm(const std::string& line) {
    const std::size_t at = Lower(line).find("realm=\"");
    if (at == std::string::npos) {
        return std::string();
    }
    const std::size_t start = at + 7;
    const std::size_t end = line.find('"', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string CInternetException::GetErrorMessage(std::size_t bufferSize) const {
    std::string message = what();
    if (bufferSize == 0) {
        return std::string();
    }
    if (message.size() > bufferSize - 1) {
        message.resize(bufferSize - 1);
    }
    return message;
}

CHttpLimits GetHttpLimits() {
    return Limits();
}
void SetHttpLimits(const CHttpLimits& limits) {
    Limits() = limits;
}

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
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t end = block.find('\n', start);
        if (end == std::string::npos) {
            end = block.size();
        }
        std::string line = block.substr(start, end - start);
        start = end + 1;
        if (!CleanHeaderLine(line)) {
            continue;
        }
        const std::string name = HeaderName(line);
        // The transport states the length of the body it really sends.
        if (name == "content-length") {
            continue;
        }
        const bool known = std::any_of(arrHeaders.begin(), arrHeaders.end(),
                                       [&](const std::string& h) { return HeaderName(h) == name; });
        if (!known) {
            arrHeaders.push_back(line);
        }
    }
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
    if (self->nHeaderBytes > Limits().nMaxHeaders) {
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
    if (self->strResponse.size() + bytes > Limits().nMaxBody) {
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
    const bool ownAgent =
        std::any_of(arrHeaders.begin(), arrHeaders.end(),
                    [](const std::string& h) { return HeaderName(h) == "user-agent"; });
    if (!ownAgent && !strAgent.empty()) {
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

    Configure(Limits(), headers.get());
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
    const std::string& raw = m_pImpl->strRawHeaders;
    std::string challenge;
    for (std::size_t start = 0; start < raw.size();) {
        const std::size_t end = std::min(raw.find("\r\n", start), raw.size());
        const std::string line = raw.substr(start, end - start);
        if (StartsWithNoCase(line, "WWW-Authenticate:")) {
            challenge = line;
            break;
        }
        start = end + 2;
    }
    CCredentials answer;
    if (!AskCredentials(m_pImpl->strServer, ChallengeRealm(challenge), answer)) {
        return 1;
    }
    m_pImpl->bCredentials = true;
    m_pImpl->credentials = answer;
    m_pImpl->nAuth =
        Lower(challenge).find("digest") != std::string::npos ? CURLAUTH_DIGEST : CURLAUTH_BASIC;
    return 0;
}

bool CHttpFile::ReadString(std::string& line, std::size_t bufferSize) {
    line.clear();
    const std::string& body = m_pImpl->strResponse;
    std::size_t& pos = m_pImpl->nReadPos;
    const std::size_t most = std::max<std::size_t>(bufferSize, 2) - 1;
    while (pos < body.size() && line.size() < most) {
        const char c = body[pos++];
        if (c == '\r') {
            continue;
        }
        line.push_back(c);
        if (c == '\n') {
            break;
        }
    }
    if (!line.empty()) {
        return true;
    }
    if (m_pImpl->bFailed) {
        m_pImpl->bFailed = false;
        throw CInternetException(m_pImpl->strFailure);
    }
    return false;
}

}  // namespace plat
