#include "platform/toolkit.h"

#include <gtk/gtk.h>

#include "platform/gtk/toolkit_internal.h"

namespace plat {
namespace {
bool g_bReady = false;
GtkWindow* g_pMainWindow = nullptr;

gboolean PresentOnMap(GtkWidget* widget, GdkEvent*, gpointer) {
    gtk_window_present(GTK_WINDOW(widget));
    return FALSE;
}

// The keys go back to the game when a box or dialog closes.
void PresentMainWindow(GtkWidget*, gpointer) {
    if (g_pMainWindow) {
        gtk_window_present(g_pMainWindow);
    }
}
}  // namespace

bool InitToolkit(int* argc, char*** argv) {
    if (!g_bReady) {
        g_bReady = gtk_init_check(argc, argv) != FALSE;
    }
    return g_bReady;
}

bool ToolkitReady() {
    return g_bReady;
}

void PumpEvents() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

GtkWindow* MainWindow() {
    return g_pMainWindow;
}

void SetMainWindow(GtkWindow* window) {
    g_pMainWindow = window;
}

void PlaceOverMainWindow(GtkWindow* dialog) {
    if (g_pMainWindow) {
        gtk_window_set_transient_for(dialog, g_pMainWindow);
    }
    g_signal_connect(dialog, "map-event", G_CALLBACK(PresentOnMap), nullptr);
    g_signal_connect(dialog, "unmap", G_CALLBACK(PresentMainWindow), nullptr);
}

}  // namespace plat
