// URL parsing and combination (RFC 3986), the same on every system.
#pragma once
#include <string>

namespace plat {

enum { INET_SERVICE_HTTP = 3, INET_SERVICE_HTTPS = 4107 };

struct CUrlParts {
    int nService = 0;          // INET_SERVICE_HTTP or INET_SERVICE_HTTPS
    std::string strServer;     // host name
    std::string strObject;     // path with query, "/" when empty
    unsigned short nPort = 0;  // explicit or the scheme's default
};

// False for anything but a well-formed http or https URL. The object has its
// dot segments removed and blanks, controls and bytes past ASCII
// percent-encoded (a blank in the query as '+'); the fragment is dropped.
bool ParseUrl(const std::string& url, CUrlParts& out);

// Resolves relative against base. False when that fails (neither is
// absolute, or a NUL byte); out is then base.
bool CombineUrl(const std::string& base, const std::string& relative, std::string& out);

}  // namespace plat
