#include "platform/speech.h"

#include "platform/msgbox.h"
#include "platform/native.h"

namespace plat {
namespace {

SpeechHandler& Handler() {
    static SpeechHandler handler;
    return handler;
}

}  // namespace

bool Announce(const std::string& text, const std::string& caption) {
    const bool bSpoken = Handler() ? Handler()(text) : native::Speak(text);
    if (!bSpoken) {
        MessageBox(text, caption);
    }
    return bSpoken;
}

void SetSpeechHandler(SpeechHandler handler) {
    Handler() = std::move(handler);
}

}  // namespace plat
