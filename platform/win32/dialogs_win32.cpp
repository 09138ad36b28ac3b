// The registration and credentials dialogs. Not built yet: they answer as
// the user's cancel would.
#include "platform/native.h"
#include "platform/window.h"

namespace plat {
namespace native {

bool AskCredentials(const std::string& /*server*/, const std::string& /*realm*/,
                    CCredentials& /*out*/) {
    return false;
}

int RunSendNetDialog(SendNetFields& /*fields*/) {
    return IDCANCEL;
}

}  // namespace native
}  // namespace plat
