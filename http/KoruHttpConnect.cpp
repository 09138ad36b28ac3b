// The request side of the HTTP client: one page per GetPage call.
#include "http/KoruHttpConnect.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint32_t kFlagsHttp = 0xA0200000u;
constexpr uint32_t kFlagsHttps = 0xA0A00000u;
constexpr size_t kReadBuffer = 10230;
constexpr size_t kErrorBuffer = 1024;

const char kNoUrl[] = "URLが指定されていません。";
const char kBrowserAgent[] =
    "User-Agent: "
    "Mozilla/4.0+(compatible;+MSIE+7.0;+Windows+NT+5.1;+.NET+CLR+2.0.50727;+InfoPath.2;+.NET+"
    "CLR+3.0.04506.648;+.NET+CLR+3.5.21022;+.NET+CLR+1.1.4322) \r\n";

void RemoveAll(std::string& text, char c) {
    text.erase(std::remove(text.begin(), text.end(), c), text.end());
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303;
}

// Position of the last c, -1 when absent.
long LastOf(const std::string& text, char c) {
    const size_t at = text.rfind(c);
    return at == std::string::npos ? -1 : static_cast<long>(at);
}

}  // namespace

void CKoruHttpSession::OnStatusCallback(uintptr_t, uint32_t, const void*, uint32_t) {}

CKoruHttpConnect::CKoruHttpConnect() {
    InitParserTables();
}

CKoruHttpConnect::~CKoruHttpConnect() = default;

int CKoruHttpConnect::SetSecureScheme(std::string url) {
    std::transform(url.begin(), url.end(), url.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (url.compare(0, 6, "HTTPS:") == 0) {
        m_dwRequestFlags = kFlagsHttps;
        return plat::INET_SERVICE_HTTPS;
    }
    if (url.compare(0, 5, "HTTP:") == 0) {
        m_dwRequestFlags = kFlagsHttp;
        return plat::INET_SERVICE_HTTP;
    }
    return 0;
}

void CKoruHttpConnect::ResetPageResults() {
    m_nCharset = 0;
    m_strTitle.clear();
    m_strError.clear();
    m_strRefreshUrl.clear();
    m_strAnchor.clear();
    m_strBaseHref.clear();
    m_nRefreshSeconds = -1;
    m_arrForms.clear();
    m_arrFrameSrc.clear();
    m_arrFrameName.clear();
    m_nFormCount = 0;
    // The page of an earlier call must not name this call's page or failure.
    m_strFinalUrl.clear();
}

std::string CKoruHttpConnect::BuildRequestHeaders(const std::string& postBody,
                                                  const std::string& referer) const {
    std::string headers = "Accept: text/*,*/* \r\n";
    if (!referer.empty()) {
        headers += "Referer: " + referer + " \r\n";
    }
    headers += "Accept-Language: ja \r\n";
    if (!postBody.empty()) {
        headers += "Content-Type: application/x-www-form-urlencoded \r\n";
    }
    headers += m_bBrowserAgent != 0 ? kBrowserAgent : "User-Agent: ViveVerudir \r\n";
    headers += "Connection: Keep-Alive \r\n";
    if (!postBody.empty()) {
        headers += "Content-Length: " + std::to_string(postBody.size()) + "\r\n";
    }
    headers += "\r\n";
    return headers;
}

int CKoruHttpConnect::FollowRedirects(CKoruHttpSession& session,
                                      std::unique_ptr<plat::CHttpConnection>& connection,
                                      std::unique_ptr<plat::CHttpFile>& file,
                                      plat::CUrlParts& target, const std::string& postBody,
                                      int status) {
    for (int count = 0; IsRedirect(status) && count < 5; ++count) {
        // Only a real Location header counts, not one whose name merely ends
        // so; without one this response is the page.
        const std::string raw = file->QueryRawHeaders();
        const size_t at = raw.find("\nLocation: ");
        if (at == std::string::npos) {
            break;
        }
        std::string location = raw.substr(at + 11);
        const size_t cookie = location.find("Set-Cookie");
        if (cookie != std::string::npos && cookie > 0) {
            m_strRequestHeaders += " Cookie:" + postBody;
        }
        const size_t lf = location.find('\n');
        if (lf != std::string::npos && lf > 0) {
            location.resize(lf);
        }
        RemoveAll(location, '\r');

        file->Close();
        file.reset();
        connection->Close();
        connection.reset();

        SetSecureScheme(location);
        if (!location.empty() && location[0] == '/') {
            target.strObject = location;
        } else {
            // Anything but an http or https URL leaves no server, and the
            // connection below fails.
            plat::ParseUrl(location, target);
        }
        connection = session.GetHttpConnection(target.strServer, target.nPort);
        file = connection->OpenRequest("GET", target.strObject, m_dwRequestFlags);
        file->AddRequestHeaders(m_strRequestHeaders);
        file->SendRequest();
        m_strFinalUrl = target.strServer + target.strObject;
        status = file->QueryInfoStatusCode();
    }
    return status;
}

void CKoruHttpConnect::ReadBody(plat::CHttpFile& file) {
    m_arrLines.clear();
    m_arrTextLines.clear();
    std::string pending;
    std::string line;
    try {
        while (file.ReadString(line, kReadBuffer)) {
            // A tag still open at the end of the line waits for its close.
            if (LastOf(line, '<') > LastOf(line, '>')) {
                pending += line;
                continue;
            }
            m_arrLines.push_back(pending + line + "\r\n");
            pending.clear();
        }
    } catch (...) {
        // What arrived before a broken transfer is kept.
        if (!pending.empty()) {
            m_arrLines.push_back(pending + "\r\n");
        }
        throw;
    }
    if (!pending.empty()) {
        m_arrLines.push_back(pending + "\r\n");
    }
}

int CKoruHttpConnect::GetPage(std::string url, std::string postBody, std::string referer) {
    RemoveAll(url, '\r');
    RemoveAll(url, '\n');
    m_strRequestUrl = url;
    std::string target = url;
    ResetPageResults();
    const size_t hash = url.find('#');
    if (hash != std::string::npos && hash > 0) {
        m_strAnchor = url.substr(hash + 1);
        target = url.substr(0, hash);
    }
    ParsePageLine("", 1, 0);

    CKoruHttpSession session(m_strAgent);
    if (target.empty()) {
        m_strError = kNoUrl;
        session.Close();
        return 1;
    }

    SetSecureScheme(target);
    plat::CUrlParts parts;
    plat::ParseUrl(target, parts);
    m_strRequestHeaders = BuildRequestHeaders(postBody, referer);

    int result = 0;
    std::unique_ptr<plat::CHttpConnection> connection;
    std::unique_ptr<plat::CHttpFile> file;
    try {
        const bool post = !postBody.empty();
        connection = session.GetHttpConnection(parts.strServer, parts.nPort);
        file = connection->OpenRequest(post ? "POST" : "GET", parts.strObject, m_dwRequestFlags);
        file->AddRequestHeaders(m_strRequestHeaders);
        if (post) {
            file->SendRequest(m_strRequestHeaders, postBody);
        } else {
            file->SendRequest();
        }
        m_strFinalUrl = parts.strServer + parts.strObject;
        int status = file->QueryInfoStatusCode();
        if (status == 401) {
            file->ErrorDlg();
            file->SendRequest();
            status = file->QueryInfoStatusCode();
        }
        FollowRedirects(session, connection, file, parts, postBody, status);
        ReadBody(*file);
        file->Close();
        connection->Close();
    } catch (const plat::CInternetException& failure) {
        if (m_strFinalUrl.empty()) {
            m_strFinalUrl = parts.strServer + parts.strObject;
        }
        m_strError = m_strFinalUrl + "\r\n" + failure.GetErrorMessage(kErrorBuffer);
        result = 2;
    } catch (const std::exception& failure) {
        // Out of memory or the like: reported as a failed exchange all the same.
        if (m_strFinalUrl.empty()) {
            m_strFinalUrl = parts.strServer + parts.strObject;
        }
        m_strError = m_strFinalUrl + "\r\n" + failure.what();
        result = 2;
    }
    file.reset();
    connection.reset();
    session.Close();

    if (!m_strFinalUrl.empty() && (url[0] == 'H' || url[0] == 'h')) {
        m_strFinalUrl = "http://" + m_strFinalUrl;
    }
    return result;
}
