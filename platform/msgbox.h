// A modal message box with an OK button and no owner window.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace plat {

// Shows text under caption and returns when the player presses OK.
// Without a display the message goes to standard error instead.
void MessageBox(const std::string& text, const std::string& caption);

// Tests catch the messages here instead; an empty function restores the box.
using MessageBoxHandler = std::function<void(const std::string& text, const std::string& caption)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

// Asks a question with one button for each answer (a "_" marks the key of
// its mnemonic) and returns the position of the one chosen. Enter gives
// nDefault; Escape and the close box give nCancel, and so does having no
// display.
int AskQuestion(const std::string& text, const std::string& caption,
                const std::vector<std::string>& arrAnswers, int nDefault, int nCancel);

// Tests answer in place of the question; an empty function restores it.
using QuestionHandler = std::function<int(const std::string& text, const std::string& caption,
                                          const std::vector<std::string>& arrAnswers)>;
void SetQuestionHandler(QuestionHandler handler);

}  // namespace plat
