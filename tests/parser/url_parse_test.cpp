// Splitting the URLs the client is handed or redirected to.
#include <gtest/gtest.h>

#include "platform/url.h"

namespace {

struct SParsed {
    bool bOk;
    plat::CUrlParts parts;
};

SParsed Parse(const std::string& url) {
    SParsed p;
    p.bOk = plat::ParseUrl(url, p.parts);
    return p;
}

TEST(UrlParse, ServerPortAndObject) {
    const SParsed p = Parse("HTTP://Rank.Example:8047/game/quibbix/GameSet.asp?aria=x&name=y#top");
    ASSERT_TRUE(p.bOk);
    EXPECT_EQ(p.parts.nService, plat::INET_SERVICE_HTTP);
    EXPECT_EQ(p.parts.strServer, "Rank.Example");
    EXPECT_EQ(p.parts.nPort, 8047);
    EXPECT_EQ(p.parts.strObject, "/game/quibbix/GameSet.asp?aria=x&name=y");

    const SParsed s = Parse("https://h");
    ASSERT_TRUE(s.bOk);
    EXPECT_EQ(s.parts.nService, plat::INET_SERVICE_HTTPS);
    EXPECT_EQ(s.parts.nPort, 443);
    EXPECT_EQ(s.parts.strObject, "/");

    EXPECT_EQ(Parse("http://user:pw@h:/p").parts.strServer, "h");
    EXPECT_EQ(Parse("http://h:/p").parts.nPort, 80);
    EXPECT_EQ(Parse("http://h:00081/").parts.nPort, 81);
    EXPECT_EQ(Parse("http://[::1]:81/x").parts.strServer, "[::1]");
    EXPECT_EQ(Parse("http://h/p?").parts.strObject, "/p");
    EXPECT_EQ(Parse("http://h?q").parts.strObject, "/?q");
}

TEST(UrlParse, ObjectIsCleanedAndEncoded) {
    EXPECT_EQ(Parse("http://h/a/../b/./c/..").parts.strObject, "/b/");
    EXPECT_EQ(Parse("http://h/../../x").parts.strObject, "/x");
    EXPECT_EQ(Parse("http://h/a b?c d&e=\xe5\xb1\xb1").parts.strObject, "/a%20b?c+d&e=%e5%b1%b1");
    EXPECT_EQ(Parse("http://h/\x01\x7f").parts.strObject, "/%01%7f");
    EXPECT_EQ(Parse("http://h/a%20b?x=%41").parts.strObject, "/a%20b?x=%41");  // kept as given
}

TEST(UrlParse, AnythingElseIsRefused) {
    for (const char* url : {"",
                            "ftp://h/",
                            "h/p",
                            "//h/p",
                            "http:h/p",
                            "http:/h/p",
                            "http:///p",
                            "http://u@/",
                            "http://h p/",
                            "http://h\t/",
                            "http://h\\p",
                            " http://h/",
                            "http://h:0/",
                            "http://h:65536/",
                            "http://h:8a/",
                            "http://h:-1/",
                            "http://[::1/x",
                            "http://[v1.x]/",
                            "http://[::1]x/",
                            "http://a<b/",
                            "http://%41/",
                            "javascript:alert(1)",
                            "mailto:a@b"}) {
        plat::CUrlParts parts;
        parts.strServer = "stale";
        EXPECT_FALSE(plat::ParseUrl(url, parts)) << url;
        EXPECT_EQ(parts.strServer, "") << url;
        EXPECT_EQ(parts.nPort, 0) << url;
    }
    plat::CUrlParts parts;
    EXPECT_FALSE(plat::ParseUrl(std::string("http://h/a\0b", 12), parts));
    EXPECT_TRUE(plat::ParseUrl("http://h:65535/", parts));
}

}  // namespace
