// URL parsing and combination, over the system's URL library.
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

// False for anything but a well-formed http or https URL.
bool ParseUrl(const std::string& url, CUrlParts& out);

// Resolves relative against base. False when that fails; out is then base.
bool CombineUrl(const std::string& base, const std::string& relative, std::string& out);

}  // namespace plat
