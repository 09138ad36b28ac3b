#include "platform/msgbox.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "platform/toolkit.h"
#include "platform/toolkit_internal.h"

namespace plat {
namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

void ShowDialog(const std::string& text, const std::string& caption) {
    GtkWidget* box = gtk_message_dialog_new(MainWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    // The caption names the box and its one label holds the text: a screen
    // reader says each once.
    PlaceOverMainWindow(GTK_WINDOW(box));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

QuestionHandler& Questioner() {
    static QuestionHandler handler;
    return handler;
}

int ShowQuestion(const std::string& text, const std::string& caption,
                 const std::vector<std::string>& arrAnswers, int nDefault, int nCancel) {
    GtkWidget* box = gtk_message_dialog_new(MainWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    // Named by its caption, as a message box is, and its label holds the text.
    for (size_t i = 0; i < arrAnswers.size(); ++i)
        gtk_dialog_add_button(GTK_DIALOG(box), arrAnswers[i].c_str(), static_cast<int>(i));
    gtk_dialog_set_default_response(GTK_DIALOG(box), nDefault);
    PlaceOverMainWindow(GTK_WINDOW(box));
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return response >= 0 && response < static_cast<int>(arrAnswers.size()) ? response : nCancel;
}

}  // namespace

int AskQuestion(const std::string& text, const std::string& caption,
                const std::vector<std::string>& arrAnswers, int nDefault, int nCancel) {
    const CNestedLoop nested;
    if (Questioner())
        return Questioner()(text, caption, arrAnswers);
    if (ToolkitReady())
        return ShowQuestion(text, caption, arrAnswers, nDefault, nCancel);
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
    return nCancel;
}

void SetQuestionHandler(QuestionHandler handler) {
    Questioner() = std::move(handler);
}

void MessageBox(const std::string& text, const std::string& caption) {
    const CNestedLoop nested;  // a test's handler stands in for the box's loop
    if (Handler()) {
        Handler()(text, caption);
    } else if (ToolkitReady()) {
        ShowDialog(text, caption);
    } else {
        std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
    }
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Handler() = std::move(handler);
}

}  // namespace plat
