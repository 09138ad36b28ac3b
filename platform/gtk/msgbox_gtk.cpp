#include "platform/native.h"

#include <gtk/gtk.h>

#include "platform/gtk/toolkit_internal.h"

namespace plat {
namespace native {

void ShowMessageBox(const std::string& text, const std::string& caption) {
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

int AskQuestion(const std::string& text, const std::string& caption,
                const std::vector<std::string>& arrAnswers, int nDefault) {
    // Named by its caption, as a message box is, and its label holds the text.
    GtkWidget* box = gtk_message_dialog_new(MainWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    for (size_t i = 0; i < arrAnswers.size(); ++i)
        gtk_dialog_add_button(GTK_DIALOG(box), arrAnswers[i].c_str(), static_cast<int>(i));
    gtk_dialog_set_default_response(GTK_DIALOG(box), nDefault);
    PlaceOverMainWindow(GTK_WINDOW(box));
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return response;
}

}  // namespace native
}  // namespace plat
