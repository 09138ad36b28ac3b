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

}  // namespace native
}  // namespace plat
