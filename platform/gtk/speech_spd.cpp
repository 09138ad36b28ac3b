// The desktop's speech service, reached through its client library. It is
// asked only when something must be said, and only if it already runs: it
// is never started from here.
#include <libspeechd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "platform/native.h"

namespace plat {
namespace {

constexpr auto kWait = std::chrono::milliseconds(500);

bool SpeakNow(const std::string& text) {
    char* error = nullptr;
    // The address comes from SPEECHD_ADDRESS, or is the session's own socket.
    SPDConnection* connection =
        spd_open2("doruzoro", "announcements", nullptr, SPD_MODE_SINGLE, nullptr, 0, &error);
    std::free(error);
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
