// A small blocking HTTP client: session, connection, request. Redirects are
// never followed here (the caller follows them itself), only http and https
// are spoken, and every failure of the network raises CInternetException.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace plat {

// Request flags understood by OpenRequest; the others are accepted and
// have no effect (there is no cache, and connections are always reused).
enum : uint32_t {
    INET_FLAG_RELOAD = 0x80000000u,
    INET_FLAG_EXISTING_CONNECT = 0x20000000u,
    INET_FLAG_SECURE = 0x00800000u,
    INET_FLAG_NO_AUTO_REDIRECT = 0x00200000u,
};

// The one failure of this layer: name not resolved, refused, timed out,
// broken transfer, bad URL, a body past the size limit.
class CInternetException : public std::runtime_error {
public:
    explicit CInternetException(const std::string& message) : std::runtime_error(message) {}
    // The message cut to fit a buffer of bufferSize bytes with its end mark.
    std::string GetErrorMessage(std::size_t bufferSize) const;
};

// Limits every transfer obeys, so a dead or hostile server cannot hold the
// caller forever or fill its memory.
struct CHttpLimits {
    long nConnectMs = 30000;    // to have the connection
    long nStallSeconds = 30;    // without a single byte arriving
    long nTransferMs = 120000;  // for one whole exchange (a server that drips)
    std::size_t nMaxBody = 16u * 1024u * 1024u;
    std::size_t nMaxHeaders = 1024u * 1024u;
};
CHttpLimits GetHttpLimits();
// Tests set shorter limits; the defaults come back with CHttpLimits().
void SetHttpLimits(const CHttpLimits& limits);

class CHttpConnection;
class CHttpFile;

class CHttpSession {
public:
    // The agent is sent as User-Agent unless a request brings its own.
    explicit CHttpSession(std::string agent);
    virtual ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // Throws for an empty server or port 0.
    std::unique_ptr<CHttpConnection> GetHttpConnection(const std::string& server,
                                                       unsigned short port);
    virtual void Close();
    // Status reports are never enabled; derived sessions may override.
    virtual void OnStatusCallback(uintptr_t context, uint32_t status, const void* info,
                                  uint32_t infoLength);

    struct CShared;

private:
    std::string m_strAgent;
    std::shared_ptr<CShared> m_pShared;
};

class CHttpConnection {
public:
    ~CHttpConnection();
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // verb "GET" or "POST"; object is the path with its query. https when
    // flags hold INET_FLAG_SECURE. Throws when the URL cannot be formed.
    std::unique_ptr<CHttpFile> OpenRequest(const std::string& verb, const std::string& object,
                                           uint32_t flags);
    void Close() {}
    const std::string& Server() const { return m_strServer; }

private:
    friend class CHttpSession;
    CHttpConnection(std::shared_ptr<CHttpSession::CShared> shared, std::string agent,
                    std::string server, unsigned short port);
    std::shared_ptr<CHttpSession::CShared> m_pShared;
    std::string m_strAgent;
    std::string m_strServer;
    unsigned short m_nPort;
};

class CHttpFile {
public:
    ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // Adds each "Name: value" line of a CR LF block whose name the request
    // does not carry yet. Blank lines are skipped; a leading blank is dropped.
    void AddRequestHeaders(const std::string& headers);
    // Performs the exchange; headers are added as above. Throws when no
    // complete response head arrived. A failure later in the body is kept
    // and thrown by ReadString once the bytes before it are read.
    void SendRequest(const std::string& headers = std::string(),
                     const std::string& body = std::string());
    int QueryInfoStatusCode() const;
    // The final response's head, every line ended by CR LF.
    std::string QueryRawHeaders() const;
    // Asks the user for credentials after a 401; they go with the next
    // SendRequest of this request only. Returns 0, or 1 when cancelled.
    int ErrorDlg();
    // One line per call: CR dropped, the LF kept, at most bufferSize - 1
    // characters. False at the end of the body.
    bool ReadString(std::string& line, std::size_t bufferSize);
    void Close() {}

    struct CImpl;

private:
    friend class CHttpConnection;
    explicit CHttpFile(std::unique_ptr<CImpl> impl);
    std::unique_ptr<CImpl> m_pImpl;
};

}  // namespace plat
