// A modal message box with an OK button and no owner window.
#pragma once
#include <functional>
#include <string>

namespace plat {

// Shows text under caption and returns when the player presses OK.
// Without a display the message goes to standard error instead.
void MessageBox(const std::string& text, const std::string& caption);

// Tests catch the messages here instead; an empty function restores the box.
using MessageBoxHandler = std::function<void(const std::string& text, const std::string& caption)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace plat
