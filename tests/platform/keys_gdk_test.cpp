// The toolkit's key values as the scenes' virtual-key codes.
#include <gtest/gtest.h>

#include "platform/keys.h"

namespace {

// Every released key must reach the menu, which speaks its entry for any
// key; one without a code of its own comes as VK_OTHER, never dropped.
TEST(Keys, EveryKeyHasACode) {
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0x7a), unsigned('Z'));  // z, as Z
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0x5a), unsigned('Z'));
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0xff1b), plat::VK_ESCAPE);
    // The player's own keys: the volume, the balance and the pause.
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0xff55), plat::VK_PRIOR);
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0xff56), plat::VK_NEXT);
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0xff50), plat::VK_HOME);
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0xff57), plat::VK_END);
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0xff13), plat::VK_PAUSE);
    EXPECT_EQ(plat::VirtualKeyFromKeyval(0x70), unsigned('P'));
    for (unsigned keyval : {0x2eu, 0x2cu, 0xffb1u, 0xff63u}) {  // . , keypad 1, Insert
        EXPECT_EQ(plat::VirtualKeyFromKeyval(keyval), plat::VK_OTHER) << keyval;
    }
}

// A Cyrillic or Greek layout: the key's letter comes from the Latin layout.
TEST(Keys, NonLatinLettersTakeTheirKeysLatinLetter) {
    constexpr unsigned kCyrillicYa = 0x6d1, kGreekZeta = 0x7e6, kZ = 0x7a, kPeriod = 0x2e;
    EXPECT_EQ(plat::VirtualKeyFromKeyvals(kCyrillicYa, {kCyrillicYa, kZ}), unsigned('Z'));
    EXPECT_EQ(plat::VirtualKeyFromKeyvals(kGreekZeta, {kZ, kGreekZeta}), unsigned('Z'));
    // The active layout's own code wins; punctuation elsewhere is no letter.
    EXPECT_EQ(plat::VirtualKeyFromKeyvals(0x78, {kZ}), unsigned('X'));
    EXPECT_EQ(plat::VirtualKeyFromKeyvals(kCyrillicYa, {kCyrillicYa, kPeriod}), plat::VK_OTHER);
    EXPECT_EQ(plat::VirtualKeyFromKeyvals(kCyrillicYa, {}), plat::VK_OTHER);
}

}  // namespace
