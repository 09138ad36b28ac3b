// The modal dialog that asks for a user name and password when a server
// answers 401.
#pragma once
#include <functional>
#include <string>

namespace plat {

struct CCredentials {
    std::string strUser;
    std::string strPassword;
};

// Asks for the credentials of server (realm as the server named it). False
// when the user cancels, or when there is no display.
bool AskCredentials(const std::string& server, const std::string& realm, CCredentials& out);

// Tests answer here instead of the dialog; an empty function restores it.
using CredentialsHandler =
    std::function<bool(const std::string& server, const std::string& realm, CCredentials& out)>;
void SetCredentialsHandler(CredentialsHandler handler);

}  // namespace plat
