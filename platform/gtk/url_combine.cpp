// Resolution of relative addresses against a page's address.
#include <curl/curl.h>

#include <cctype>
#include <memory>

#include "platform/url.h"

namespace plat {
namespace {

struct CUrlDeleter {
    void operator()(CURLU* p) const { curl_url_cleanup(p); }
};
using UrlHandle = std::unique_ptr<CURLU, CUrlDeleter>;

std::string GetWhole(CURLU* h) {
    char* text = nullptr;
    if (curl_url_get(h, CURLUPART_URL, &text, 0) != CURLUE_OK || !text)
        return std::string();
    std::string out(text);
    curl_free(text);
    return out;
}

// The base cut before the first character of any of the given set.
std::string CutAt(const std::string& base, const char* set) {
    const size_t p = base.find_first_of(set);
    return p == std::string::npos ? base : base.substr(0, p);
}

// A reference with its own scheme stands for itself.
bool HasScheme(const std::string& ref) {
    if (ref.empty() || !std::isalpha(static_cast<unsigned char>(ref[0])))
        return false;
    for (size_t i = 1; i < ref.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(ref[i]);
        if (c == ':')
            return true;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

}  // namespace

bool CombineUrl(const std::string& base, const std::string& relative, std::string& out) {
    out = base;
    if (base.find('\0') != std::string::npos || relative.find('\0') != std::string::npos)
        return false;
    // The system library mishandles these three forms; they only replace the
    // tail of the base, so they are done here.
    if (!base.empty()) {
        if (relative.empty()) {
            out = CutAt(base, "#");
            return true;
        }
        if (relative[0] == '#') {
            out = CutAt(base, "#") + relative;
            return true;
        }
        if (relative[0] == '?') {
            out = CutAt(base, "?#") + relative;
            return true;
        }
    }
    UrlHandle h(curl_url());
    if (!h)
        return false;
    const unsigned flags = CURLU_NON_SUPPORT_SCHEME;
    if (!base.empty() && curl_url_set(h.get(), CURLUPART_URL, base.c_str(), flags) != CURLUE_OK) {
        h.reset(curl_url());
        if (!h)
            return false;
    }
    if (curl_url_set(h.get(), CURLUPART_URL, relative.c_str(), flags) != CURLUE_OK) {
        if (!HasScheme(relative))
            return false;
        out = relative;
        return true;
    }
    std::string whole = GetWhole(h.get());
    if (whole.empty())
        return false;
    out = whole;
    return true;
}

}  // namespace plat
