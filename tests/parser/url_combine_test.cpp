#include <gtest/gtest.h>

#include "platform/url.h"

namespace {

std::string Combine(const std::string& base, const std::string& rel) {
    std::string out;
    plat::CombineUrl(base, rel, out);
    return out;
}

const char* const kBase = "http://a/b/c/d;p?q";

TEST(UrlCombine, NormalExamples) {
    const char* const cases[][2] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g/"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Combine(kBase, c[0]), c[1]) << c[0];
}

TEST(UrlCombine, AbnormalExamples) {
    const char* const cases[][2] = {
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Combine(kBase, c[0]), c[1]) << c[0];
}

TEST(UrlCombine, FailureGivesTheBase) {
    std::string out;
    EXPECT_FALSE(plat::CombineUrl("not a url", "also not", out));
    EXPECT_EQ(out, "not a url");
    EXPECT_FALSE(plat::CombineUrl("", "", out));
    EXPECT_EQ(out, "");
    EXPECT_EQ(Combine("", "http://x/y"), "http://x/y");
}

}  // namespace

namespace {

TEST(UrlCombine, ReferencesOfTheirOwnAndOddBases) {
    EXPECT_EQ(Combine("http://a/b", "HTTPS://X/y/../z"), "https://X/z");
    EXPECT_EQ(Combine("http://a/b", "mailto:x@y"), "mailto:x@y");
    EXPECT_EQ(Combine("http://a", "g"), "http://a/g");
    EXPECT_EQ(Combine("http://a", "?q"), "http://a/?q");
    EXPECT_EQ(Combine("http://a/b#f", ""), "http://a/b");
    EXPECT_EQ(Combine("http://a/b?q#f", "#g"), "http://a/b?q#g");
    EXPECT_EQ(Combine("http://a/b c/d", "e f.html"), "http://a/b c/e f.html");
    EXPECT_EQ(Combine("mailto:x@y", "z"), "mailto:z");
    std::string out;
    EXPECT_FALSE(plat::CombineUrl("http://a/", std::string("g\0h", 3), out));
    EXPECT_EQ(out, "http://a/");
    EXPECT_FALSE(plat::CombineUrl("relative/only", "g", out));
    EXPECT_EQ(out, "relative/only");
}

}  // namespace
