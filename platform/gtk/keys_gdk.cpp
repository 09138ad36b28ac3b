#include "platform/keys.h"

#include <gdk/gdkkeysyms.h>

namespace plat {

unsigned int VirtualKeyFromKeyval(unsigned int keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) {
        return keyval - GDK_KEY_a + 'A';
    }
    if ((keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) || (keyval >= '0' && keyval <= '9')) {
        return keyval;
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) {
        return VK_F1 + (keyval - GDK_KEY_F1);
    }
    switch (keyval) {
        case GDK_KEY_BackSpace:
            return VK_BACK;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return VK_TAB;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return VK_RETURN;
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
            return VK_SHIFT;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
            return VK_CONTROL;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
            return VK_MENU;
        case GDK_KEY_Escape:
            return VK_ESCAPE;
        case GDK_KEY_space:
        case GDK_KEY_KP_Space:
            return VK_SPACE;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            return VK_PRIOR;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            return VK_NEXT;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return VK_END;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return VK_HOME;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return VK_LEFT;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return VK_UP;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return VK_RIGHT;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return VK_DOWN;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return VK_DELETE;
        default:
            return VK_OTHER;
    }
}

unsigned int VirtualKeyFromKeyvals(unsigned int keyval, const std::vector<unsigned int>& layouts) {
    const unsigned int vk = VirtualKeyFromKeyval(keyval);
    if (vk != VK_OTHER)
        return vk;
    for (const unsigned int other : layouts) {
        const unsigned int alt = VirtualKeyFromKeyval(other);
        if ((alt >= 'A' && alt <= 'Z') || (alt >= '0' && alt <= '9'))
            return alt;
    }
    return VK_OTHER;
}

}  // namespace plat
