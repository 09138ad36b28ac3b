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

}  // namespace

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
