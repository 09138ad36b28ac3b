#include <gtk/gtk.h>

#include "platform/gtk/toolkit_internal.h"
#include "platform/native.h"

namespace plat {
namespace {

// A field with its label; the field is named after the label as well, for
// screen readers that do not follow the label relation.
GtkWidget* AddEntry(GtkGrid* grid, int row, const char* label, const char* name, bool secret) {
    GtkWidget* caption = gtk_label_new_with_mnemonic(label);
    gtk_widget_set_halign(caption, GTK_ALIGN_START);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_visibility(GTK_ENTRY(entry), secret ? FALSE : TRUE);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_label_set_mnemonic_widget(GTK_LABEL(caption), entry);
    atk_object_set_name(gtk_widget_get_accessible(entry), name);
    gtk_grid_attach(grid, caption, 0, row, 1, 1);
    gtk_grid_attach(grid, entry, 1, row, 1, 1);
    return entry;
}

// The dialog is named by its title (the server) and described by the
// prompt, which a screen reader reads when the dialog opens.
void DescribeBy(GtkWidget* dialog, GtkWidget* label, const std::string& prompt) {
    AtkObject* access = gtk_widget_get_accessible(dialog);
    atk_object_set_description(access, prompt.c_str());
    atk_object_add_relationship(access, ATK_RELATION_DESCRIBED_BY,
                                gtk_widget_get_accessible(label));
    atk_object_add_relationship(gtk_widget_get_accessible(label), ATK_RELATION_DESCRIPTION_FOR,
                                access);
}

bool ShowDialog(const std::string& server, const std::string& realm, CCredentials& out) {
    GtkWidget* dialog =
        gtk_dialog_new_with_buttons(server.c_str(), nullptr, GTK_DIALOG_MODAL, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    PlaceOverMainWindow(GTK_WINDOW(dialog));
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 6);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 8);
    const std::string prompt = realm.empty() ? server : server + " - " + realm;
    GtkWidget* label = gtk_label_new(prompt.c_str());
    gtk_grid_attach(GTK_GRID(grid), label, 0, 0, 2, 1);
    GtkWidget* user = AddEntry(GTK_GRID(grid), 1, "_User name", "User name", false);
    GtkWidget* password = AddEntry(GTK_GRID(grid), 2, "_Password", "Password", true);
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid);
    DescribeBy(dialog, label, prompt);
    gtk_widget_show_all(dialog);
    const bool ok = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
    if (ok) {
        out.strUser = gtk_entry_get_text(GTK_ENTRY(user));
        out.strPassword = gtk_entry_get_text(GTK_ENTRY(password));
    }
    gtk_widget_destroy(dialog);
    return ok;
}

}  // namespace

namespace native {
bool AskCredentials(const std::string& server, const std::string& realm, CCredentials& out) {
    return ShowDialog(server, realm, out);
}
}  // namespace native

}  // namespace plat
