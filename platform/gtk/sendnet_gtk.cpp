#include <gtk/gtk.h>

#include <initializer_list>

#include "platform/gtk/toolkit_internal.h"
#include "platform/native.h"
#include "platform/window.h"

namespace plat {
namespace {

// The dialog and the two labels sit on black; the labels are drawn white so
// that they stay readable on it. The style goes to these widgets alone: given
// to the screen it would blacken every later dialog of the process.
void PaintBlack(std::initializer_list<GtkWidget*> widgets) {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css, "dialog, box { background-color: #000000; } label { color: #ffffff; }", -1, nullptr);
    for (GtkWidget* widget : widgets) {
        gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                       GTK_STYLE_PROVIDER(css),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    g_object_unref(css);
}

// A label bound to its field, so the mnemonic focuses the field and a screen
// reader reads the label with the field.
GtkWidget* AddRow(GtkGrid* grid, int row, const char* mnemonic, GtkWidget* field) {
    GtkWidget* label = gtk_label_new_with_mnemonic(mnemonic);
    PaintBlack({label});
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), field);
    gtk_widget_set_hexpand(field, TRUE);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_grid_attach(grid, field, 1, row, 1, 1);
    return field;
}

int ShowDialog(SendNetFields& fields) {
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), "Do you register a record with a net?");
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    PlaceOverMainWindow(GTK_WINDOW(dialog));
    gtk_window_set_default_size(GTK_WINDOW(dialog), DluToPixelsX(194), DluToPixelsY(98));
    PaintBlack({dialog, gtk_dialog_get_content_area(GTK_DIALOG(dialog))});

    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 10);
    GtkWidget* entry = AddRow(GTK_GRID(grid), 0, "Your _Name", gtk_entry_new());
    atk_object_set_name(gtk_widget_get_accessible(entry), "Your Name");
    gtk_entry_set_text(GTK_ENTRY(entry), fields.name.c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    // The area list keeps the chosen area as its name, as a screen reader
    // expects of a list: the label relation says "Aria".
    GtkWidget* combo = AddRow(GTK_GRID(grid), 1, "_Aria", gtk_combo_box_text_new());
    for (const std::string& area : fields.areas) {
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), area.c_str());
    }
    const int count = static_cast<int>(fields.areas.size());
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), fields.selected >= 0 && fields.selected < count
                                                       ? fields.selected
                                                       : -1);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid, TRUE, TRUE,
                       0);

    gtk_dialog_add_button(GTK_DIALOG(dialog), "_Send", GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "_Close", GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(entry);

    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    const int result = response == GTK_RESPONSE_OK ? IDOK : IDCANCEL;
    if (result == IDOK) {
        fields.name = gtk_entry_get_text(GTK_ENTRY(entry));
        fields.selected = gtk_combo_box_get_active(GTK_COMBO_BOX(combo));
    }
    gtk_widget_destroy(dialog);
    return result;
}

}  // namespace

namespace native {
int RunSendNetDialog(SendNetFields& fields) {
    return ShowDialog(fields);
}
}  // namespace native

}  // namespace plat
