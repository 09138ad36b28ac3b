#include <curl/curl.h>

#include <cstdlib>
#include <memory>

#include "platform/url.h"

namespace plat {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

// One part of a parsed URL; empty when the URL has none.
std::string Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) {
        return std::string();
    }
    std::string result(text);
    curl_free(text);
    return result;
}

}  // namespace

bool ParseUrl(const std::string& url, CUrlParts& out) {
    out = CUrlParts();
    UrlPtr handle(curl_url());
    // Blanks and bytes past ASCII are percent-encoded rather than refused:
    // callers hand over query values as they are.
    if (!handle || url.find('\0') != std::string::npos ||
        curl_url_set(handle.get(), CURLUPART_URL, url.c_str(),
                     CURLU_ALLOW_SPACE | CURLU_URLENCODE) != CURLUE_OK) {
        return false;
    }
    const std::string scheme = Part(handle.get(), CURLUPART_SCHEME);
    const std::string host = Part(handle.get(), CURLUPART_HOST);
    if ((scheme != "http" && scheme != "https") || host.empty()) {
        return false;
    }
    const long port =
        std::strtol(Part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT).c_str(), nullptr, 10);
    if (port <= 0 || port > 65535) {
        return false;
    }
    out.nService = scheme == "https" ? INET_SERVICE_HTTPS : INET_SERVICE_HTTP;
    out.strServer = host;
    out.nPort = static_cast<unsigned short>(port);
    out.strObject = Part(handle.get(), CURLUPART_PATH);
    if (out.strObject.empty()) {
        out.strObject = "/";
    }
    const std::string query = Part(handle.get(), CURLUPART_QUERY);
    if (!query.empty()) {
        out.strObject += "?" + query;
    }
    return true;
}

}  // namespace plat
