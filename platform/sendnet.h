// The record registration dialog: a name field, an area list, "Send" and
// "Close". The caller keeps the texts; the dialog only edits them.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace plat {

struct SendNetFields {
    std::string name;
    std::vector<std::string> areas;  // shown in this order
    int selected = -1;               // position in areas, -1 for none
};

// Runs the dialog modally. Returns 1 (OK) for "Send" with fields updated from
// the controls, 2 (cancel) for "Close", Escape or the close box with fields
// untouched; -1 when there is no display.
int RunSendNetDialog(SendNetFields& fields);

// Tests answer in place of the dialog; an empty function restores it.
using SendNetHandler = std::function<int(SendNetFields& fields)>;
void SetSendNetHandler(SendNetHandler handler);

}  // namespace plat
