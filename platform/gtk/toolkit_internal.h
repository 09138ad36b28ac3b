// What the platform's boxes and dialogs share of the toolkit. Platform code only.
#pragma once
#include <gtk/gtk.h>

namespace plat {

// The program's main window while it is shown, or null.
GtkWindow* MainWindow();
void SetMainWindow(GtkWindow* window);

// Makes a box or dialog belong to the main window, so that window managers
// keep it above the game and give it focus, and has it take the keyboard
// focus once shown and give it back to the main window when it goes
// (without a window manager nothing else would).
void PlaceOverMainWindow(GtkWindow* dialog);

}  // namespace plat
