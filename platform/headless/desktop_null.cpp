// No display, no desktop, no sound card: the toolkit never starts, so the
// shared code answers every box and dialog itself, and sound stays silent.
#include "platform/audio.h"
#include "platform/native.h"
#include "platform/toolkit.h"

namespace plat {

bool InitToolkit(int* /*argc*/, char*** /*argv*/) {
    return false;
}

bool ToolkitReady() {
    return false;
}

void PumpEvents() {}

namespace native {

void ShowMessageBox(const std::string& /*text*/, const std::string& /*caption*/) {}

int AskQuestion(const std::string& /*text*/, const std::string& /*caption*/,
                const std::vector<std::string>& /*arrAnswers*/, int /*nDefault*/) {
    return -1;
}

bool AskCredentials(const std::string& /*server*/, const std::string& /*realm*/,
                    CCredentials& /*out*/) {
    return false;
}

int RunSendNetDialog(SendNetFields& /*fields*/) {
    return -1;
}

bool OpenUri(const std::string& /*uri*/) {
    return false;
}

bool SpawnProgram(const std::string& /*program*/, const std::vector<std::string>& /*args*/) {
    return false;
}

bool Speak(const std::string& /*text*/) {
    return false;
}

bool OnLoopThread() {
    return false;
}

void RunLoopFor(unsigned /*ms*/) {}

}  // namespace native

struct CAudioDevice::SOutput {};

CAudioDevice::CAudioDevice() = default;
CAudioDevice::~CAudioDevice() = default;

void CAudioDevice::OpenOutput() {}

}  // namespace plat
