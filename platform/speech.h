// Tells the player what they must know: through the desktop's speech service
// (the one a screen reader speaks with) when it runs, in a message box
// otherwise, so that it is heard either way.
#pragma once
#include <functional>
#include <string>

namespace plat {

// Speaks text when the speech service takes it within half a second, else
// shows it in a message box under caption. True when it was spoken.
bool Announce(const std::string& text, const std::string& caption);

// Tests stand in for the speech service: the handler returns whether it
// spoke the text. An empty function restores the real service.
using SpeechHandler = std::function<bool(const std::string& text)>;
void SetSpeechHandler(SpeechHandler handler);

}  // namespace plat
