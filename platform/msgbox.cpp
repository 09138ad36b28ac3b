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

}  // namespace plat
