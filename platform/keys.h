// Virtual-key codes, as the scenes test them.
#pragma once
#include <vector>

namespace plat {

enum : unsigned int {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_DELETE = 0x2E,
    // '0'..'9' and 'A'..'Z' are their ASCII codes.
    VK_F1 = 0x70,
    // A key without a code of its own (punctuation, keypad, ...). It still
    // reaches the scenes: the menu speaks its entry at the release of any key.
    VK_OTHER = 0xFF,
};

// Maps a toolkit key value to its virtual-key code; VK_OTHER when it has none.
unsigned int VirtualKeyFromKeyval(unsigned int keyval);

// The same for a pressed key, given the values the same physical key has in
// each installed layout, first layout first. A letter of a non-Latin layout
// has no code; the key then takes the first letter or digit it has in another
// layout, so that on a Cyrillic or Greek layout Z still raises the barrier.
unsigned int VirtualKeyFromKeyvals(unsigned int keyval, const std::vector<unsigned int>& layouts);

}  // namespace plat
