// Keys arrive from the system as virtual-key codes already; the toolkit
// mapping only keeps the codes the scenes know and folds the rest.
#include "platform/keys.h"

namespace plat {

unsigned int VirtualKeyFromKeyval(unsigned int keyval) {
    const bool digit = keyval >= '0' && keyval <= '9';
    const bool letter = keyval >= 'A' && keyval <= 'Z';
    switch (keyval) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_ESCAPE:
        case VK_SPACE:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_END:
        case VK_HOME:
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_DELETE:
        case VK_F1:
            return keyval;
        default:
            return digit || letter ? keyval : VK_OTHER;
    }
}

unsigned int VirtualKeyFromKeyvals(unsigned int keyval,
                                   const std::vector<unsigned int>& /*layouts*/) {
    return VirtualKeyFromKeyval(keyval);
}

}  // namespace plat
