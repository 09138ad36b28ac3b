#include "platform/msgbox.h"

#include <cstdio>

#include "platform/native.h"
#include "platform/toolkit.h"

namespace plat {
namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

QuestionHandler& Questioner() {
    static QuestionHandler handler;
    return handler;
}

}  // namespace

void MessageBox(const std::string& text, const std::string& caption) {
    const CNestedLoop nested;  // a test's handler stands in for the box's loop
    if (Handler()) {
        Handler()(text, caption);
    } else if (ToolkitReady()) {
        native::ShowMessageBox(text, caption);
    } else {
        std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
    }
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Handler() = std::move(handler);
}

int AskQuestion(const std::string& text, const std::string& caption,
                const std::vector<std::string>& arrAnswers, int nDefault, int nCancel) {
    const CNestedLoop nested;
    int nAnswer = nCancel;
    if (Questioner()) {
        nAnswer = Questioner()(text, caption, arrAnswers);
    } else if (ToolkitReady()) {
        nAnswer = native::AskQuestion(text, caption, arrAnswers, nDefault);
    } else {
        std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
    }
    return nAnswer >= 0 && nAnswer < static_cast<int>(arrAnswers.size()) ? nAnswer : nCancel;
}

void SetQuestionHandler(QuestionHandler handler) {
    Questioner() = std::move(handler);
}

}  // namespace plat
