// The two modal dialogs of the ranking, in front of each implementation's own.
#include "platform/credentials.h"
#include "platform/native.h"
#include "platform/sendnet.h"
#include "platform/toolkit.h"

namespace plat {
namespace {

CredentialsHandler& CredentialsHook() {
    static CredentialsHandler handler;
    return handler;
}

SendNetHandler& SendNetHook() {
    static SendNetHandler handler;
    return handler;
}

}  // namespace

bool AskCredentials(const std::string& server, const std::string& realm, CCredentials& out) {
    const CNestedLoop nested;
    if (CredentialsHook()) {
        return CredentialsHook()(server, realm, out);
    }
    return ToolkitReady() && native::AskCredentials(server, realm, out);
}

void SetCredentialsHandler(CredentialsHandler handler) {
    CredentialsHook() = std::move(handler);
}

int RunSendNetDialog(SendNetFields& fields) {
    const CNestedLoop nested;
    if (SendNetHook()) {
        return SendNetHook()(fields);
    }
    if (!ToolkitReady()) {
        return -1;
    }
    return native::RunSendNetDialog(fields);
}

void SetSendNetHandler(SendNetHandler handler) {
    SendNetHook() = std::move(handler);
}

}  // namespace plat
