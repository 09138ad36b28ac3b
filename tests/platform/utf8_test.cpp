// Text from outside mended to UTF-8, and converted to UTF-16 and back.
#include <gtest/gtest.h>

#include "platform/utf8.h"

namespace {

const std::string kFffd = "\xef\xbf\xbd";

TEST(Utf8, WellFormedTextIsKeptWhole) {
    const std::string text =
        std::string("a\0b", 3) + "\xc3\xa9\xe5\xb1\xb1\xf0\x9f\x8e\xae\xf4\x8f\xbf\xbf";
    EXPECT_TRUE(plat::IsValidUtf8(text));
    EXPECT_EQ(plat::ValidUtf8(text), text);
    EXPECT_EQ(plat::Utf16ToUtf8(plat::Utf8ToUtf16(text)), text);
    EXPECT_EQ(plat::Utf8ToUtf16("\xf0\x9f\x8e\xae"), (std::u16string{0xD83C, 0xDFAE}));
}

// One U+FFFD for each maximal part that could not be completed.
TEST(Utf8, EachIllFormedPartBecomesOneReplacement) {
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"a\xff"
         "b",
         "a" + kFffd + "b"},
        {"\xc0\xaf", kFffd + kFffd},                          // overlong
        {"\xe0\x80\xaf", kFffd + kFffd + kFffd},              // overlong
        {"\xed\xa0\x80", kFffd + kFffd + kFffd},              // a surrogate
        {"\xf4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // past U+10FFFF
        {"\xe5\xb1", kFffd},                                  // cut at the end
        {"\xe5\xb1"
         "x",
         kFffd + "x"},  // cut in the middle
        {"\xf0\x9f\x8e", kFffd},
        {"\x80\x80", kFffd + kFffd},  // stray continuations
        {"\xf8\x88\x80\x80\x80", kFffd + kFffd + kFffd + kFffd + kFffd},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(plat::IsValidUtf8(c.in)) << c.in;
        EXPECT_EQ(plat::ValidUtf8(c.in), c.out) << c.in;
        EXPECT_EQ(plat::Utf16ToUtf8(plat::Utf8ToUtf16(c.in)), c.out) << c.in;
    }
}

TEST(Utf8, UnpairedSurrogatesBecomeReplacements) {
    const std::u16string lone = {u'a', 0xD800, u'b', 0xDC00, 0xD83C};
    EXPECT_EQ(plat::Utf16ToUtf8(lone), "a" + kFffd + "b" + kFffd + kFffd);
    EXPECT_EQ(plat::Utf16ToUtf8(std::u16string()), "");
}

}  // namespace
