// URL parsing and the resolution of relative references (RFC 3986), our
// own, so that every implementation splits and combines addresses alike.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/url.h"

namespace plat {
namespace {

struct SUri {
    std::string strScheme;
    bool bAuthority = false;
    std::string strAuthority;
    std::string strPath;
    bool bQuery = false;
    std::string strQuery;
    bool bFragment = false;
    std::string strFragment;
};

bool IsScheme(const std::string& s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0])))
        return false;
    for (const char c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The split of the standard's appendix B; a scheme that is not one leaves
// the whole text a relative reference.
SUri Split(const std::string& text) {
    SUri u;
    std::size_t i = 0;
    const std::size_t colon = text.find_first_of(":/?#");
    if (colon != std::string::npos && text[colon] == ':' && IsScheme(text.substr(0, colon))) {
        u.strScheme = Lower(text.substr(0, colon));
        i = colon + 1;
    }
    if (text.compare(i, 2, "//") == 0) {
        u.bAuthority = true;
        const std::size_t end = text.find_first_of("/?#", i + 2);
        u.strAuthority = text.substr(i + 2, end == std::string::npos ? end : end - i - 2);
        i = end == std::string::npos ? text.size() : end;
    }
    const std::size_t pathEnd = std::min(text.find_first_of("?#", i), text.size());
    u.strPath = text.substr(i, pathEnd - i);
    i = pathEnd;
    if (i < text.size() && text[i] == '?') {
        const std::size_t end = std::min(text.find('#', i), text.size());
        u.bQuery = true;
        u.strQuery = text.substr(i + 1, end - i - 1);
        i = end;
    }
    if (i < text.size()) {
        u.bFragment = true;
        u.strFragment = text.substr(i + 1);
    }
    return u;
}

// Section 5.2.4.
std::string RemoveDotSegments(std::string in) {
    std::string out;
    while (!in.empty()) {
        if (in.compare(0, 3, "../") == 0) {
            in.erase(0, 3);
        } else if (in.compare(0, 2, "./") == 0) {
            in.erase(0, 2);
        } else if (in.compare(0, 3, "/./") == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.compare(0, 4, "/../") == 0 || in == "/..") {
            in = in.size() == 3 ? "/" : in.substr(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            const std::size_t next = in.find('/', 1);
            out += in.substr(0, next);
            in.erase(0, next == std::string::npos ? in.size() : next);
        }
    }
    return out;
}

// Section 5.2.3.
std::string Merge(const SUri& base, const std::string& relPath) {
    if (base.bAuthority && base.strPath.empty())
        return "/" + relPath;
    const std::size_t slash = base.strPath.rfind('/');
    return slash == std::string::npos ? relPath : base.strPath.substr(0, slash + 1) + relPath;
}

// Section 5.3; an authority with an empty path gets the path "/".
std::string Recompose(const SUri& u) {
    std::string out;
    if (!u.strScheme.empty())
        out += u.strScheme + ":";
    if (u.bAuthority)
        out += "//" + u.strAuthority + (u.strPath.empty() ? "/" : "");
    out += u.strPath;
    if (u.bQuery)
        out += "?" + u.strQuery;
    if (u.bFragment)
        out += "#" + u.strFragment;
    return out;
}

// Section 5.2.2, strict.
SUri Resolve(const SUri& base, const SUri& rel) {
    SUri t;
    if (!rel.strScheme.empty()) {
        t = rel;
        t.strPath = RemoveDotSegments(rel.strPath);
        return t;
    }
    t.strScheme = base.strScheme;
    if (rel.bAuthority) {
        t = rel;
        t.strScheme = base.strScheme;
        t.strPath = RemoveDotSegments(rel.strPath);
        return t;
    }
    t.bAuthority = base.bAuthority;
    t.strAuthority = base.strAuthority;
    if (rel.strPath.empty()) {
        t.strPath = base.strPath;
        t.bQuery = rel.bQuery || base.bQuery;
        t.strQuery = rel.bQuery ? rel.strQuery : base.strQuery;
    } else {
        t.strPath =
            RemoveDotSegments(rel.strPath[0] == '/' ? rel.strPath : Merge(base, rel.strPath));
        t.bQuery = rel.bQuery;
        t.strQuery = rel.strQuery;
    }
    t.bFragment = rel.bFragment;
    t.strFragment = rel.strFragment;
    return t;
}

// Blanks, controls and bytes past ASCII are sent percent-encoded: callers
// hand over names and query values as they are.
std::string Encode(const std::string& s, bool bQuery) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += bQuery ? "+" : "%20";
        } else if (c < 0x20 || c >= 0x7f) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

bool ValidHost(const std::string& host) {
    if (host.empty())
        return false;
    if (host[0] == '[') {
        if (host.size() < 4 || host.back() != ']')
            return false;
        for (std::size_t i = 1; i + 1 < host.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(host[i]);
            if (!std::isxdigit(c) && c != ':' && c != '.')
                return false;
        }
        return true;
    }
    for (const char ch : host) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7f || std::strchr("/:#?!@{}[]\\$'\"^`*<>=;,+&()%|", c))
            return false;
    }
    return true;
}

bool ParsePort(const std::string& text, unsigned short& port) {
    unsigned long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 65535)
            return false;
    }
    if (!text.empty() && value == 0)
        return false;
    if (!text.empty())
        port = static_cast<unsigned short>(value);
    return true;
}

}  // namespace

bool ParseUrl(const std::string& url, CUrlParts& out) {
    out = CUrlParts();
    if (url.find('\0') != std::string::npos)
        return false;
    const SUri u = Split(url);
    if ((u.strScheme != "http" && u.strScheme != "https") || !u.bAuthority)
        return false;
    const bool bSecure = u.strScheme == "https";
    const std::string hostPort = u.strAuthority.substr(u.strAuthority.rfind('@') + 1);
    if (hostPort.empty())
        return false;
    const std::size_t bracket = hostPort[0] == '[' ? hostPort.find(']') : 0;
    if (bracket == std::string::npos)
        return false;
    const std::size_t colon = hostPort.find(':', bracket);
    std::string host = hostPort.substr(0, colon);
    unsigned short port = bSecure ? 443 : 80;
    if (colon != std::string::npos && !ParsePort(hostPort.substr(colon + 1), port))
        return false;
    if (!ValidHost(host))
        return false;
    out.nService = bSecure ? INET_SERVICE_HTTPS : INET_SERVICE_HTTP;
    out.strServer = host;
    out.nPort = port;
    out.strObject = Encode(RemoveDotSegments(u.strPath), false);
    if (out.strObject.empty() || out.strObject[0] != '/')
        out.strObject.insert(0, "/");
    if (!u.strQuery.empty())
        out.strObject += "?" + Encode(u.strQuery, true);
    return true;
}

bool CombineUrl(const std::string& base, const std::string& relative, std::string& out) {
    out = base;
    if (base.find('\0') != std::string::npos || relative.find('\0') != std::string::npos)
        return false;
    const SUri rel = Split(relative);
    const SUri b = Split(base);
    if (rel.strScheme.empty() && b.strScheme.empty())
        return false;  // nothing absolute to resolve against
    out = Recompose(Resolve(b, rel));
    return true;
}

}  // namespace plat
