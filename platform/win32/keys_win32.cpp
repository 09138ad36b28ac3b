// Keys arrive from the system as virtual-key codes already: a letter key
// gives its Latin letter on every layout (Cyrillic and Greek ones too), so
// only the codes the scenes know are kept and the rest folded, as the other
// implementations fold theirs.
#include "platform/keys.h"

namespace plat {
namespace {

// The system's codes that the scenes' header leaves out.
enum : unsigned int {
    kVkF12 = 0x7B,
};

}  // namespace

unsigned int VirtualKeyFromKeyval(unsigned int keyval) {
    const bool digit = keyval >= '0' && keyval <= '9';
    const bool letter = keyval >= 'A' && keyval <= 'Z';
    const bool function = keyval >= VK_F1 && keyval <= kVkF12;
    switch (keyval) {
        case VK_BACK:
        case VK_TAB:
        case VK_RETURN:
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_PAUSE:
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
            return keyval;
        default:
            return digit || letter || function ? keyval : VK_OTHER;
    }
}

unsigned int VirtualKeyFromKeyvals(unsigned int keyval,
                                   const std::vector<unsigned int>& /*layouts*/) {
    return VirtualKeyFromKeyval(keyval);
}

}  // namespace plat
