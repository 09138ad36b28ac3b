// The desktop's speech service, reached through its client library. It is
// asked only when something must be said, and only if it already runs: it
// is never started from here.
#include <libspeechd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "platform/native.h"

namespace plat {
namespace {

constexpr auto kWait = std::chrono::milliseconds(500);

// Whether something listens on a local socket. The library leaves a little
// of its own behind when it cannot connect, so it is only asked when it can.
bool Listening(const char* path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (!path || std::strlen(path) >= sizeof addr.sun_path) {
        return false;
    }
    std::strcpy(addr.sun_path, path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

bool SpeakNow(const std::string& text) {
    char* error = nullptr;
    // From SPEECHD_ADDRESS, or the session's own socket.
    SPDConnectionAddress* address = spd_get_default_address(&error);
    std::free(error);
    error = nullptr;
    if (!address) {
        return false;
    }
    SPDConnection* connection = nullptr;
    if (address->method != SPD_METHOD_UNIX_SOCKET || Listening(address->unix_socket_name)) {
        connection =
            spd_open2("doruzoro", "announcements", nullptr, SPD_MODE_SINGLE, address, 0, &error);
    }
    std::free(error);
    SPDConnectionAddress__free(address);
    if (!connection) {
        return false;
    }
    const int id = spd_say(connection, SPD_MESSAGE, text.c_str());
    spd_close(connection);  // a message taken is said after the client has gone
    return id >= 0;
}

}  // namespace

namespace native {

// On a thread of its own, so that a service that hangs costs the game half
// a second at most; what it says later is said all the same.
bool Speak(const std::string& text) {
    auto result = std::make_shared<std::promise<bool>>();
    std::future<bool> spoken = result->get_future();
    std::thread([text, result] { result->set_value(SpeakNow(text)); }).detach();
    return spoken.wait_for(kWait) == std::future_status::ready && spoken.get();
}

}  // namespace native
}  // namespace plat
