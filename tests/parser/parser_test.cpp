#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "http/KoruHttpConnect.h"

namespace {

const std::string kLink = "\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xAF";  // link label
const std::string kForm = "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xBC\xE3\x83\xA0";

class Parser : public ::testing::Test {
protected:
    void SetUp() override { c.ParsePageLine("", 1, 0); }
    std::string Page(const std::vector<std::string>& lines) {
        std::string out;
        for (const std::string& l : lines)
            out += c.ParsePageLine(l, 0, 0);
        return out + c.ParsePageLine("", 0, 1);
    }
    CKoruHttpConnect c;
};

TEST_F(Parser, TextBreaksAndSkips) {
    EXPECT_EQ(Page({"one<br>two<BR>three"}), "one\r\ntwo\r\nthree");
    EXPECT_EQ(Page({"a<BR/>b</TR>c<br/>d"}), "a\r\nb\r\ncd");
    EXPECT_EQ(Page({"x<script>var a = '<b>';</SCRIPT>y"}), "x>y");
    EXPECT_EQ(Page({"<style>p{}</style>"}), "");
    EXPECT_EQ(Page({"a<select name=s><option>1</option></select>b"}), "ab");
    EXPECT_EQ(Page({"\xE3\x83\xBB"}), "");
    EXPECT_EQ(Page({" "}), "");
    EXPECT_EQ(Page({"a<>b"}), "a<>b");
}

TEST_F(Parser, TagCutAtLineEndCarriesOver) {
    EXPECT_EQ(c.ParsePageLine("before<a", 0, 0), "before");
    EXPECT_EQ(c.ParsePageLine(" class=x>after", 0, 0), "after");
    // An unclosed "<" at the very end of the input yields nothing more.
    EXPECT_EQ(c.ParsePageLine("<", 0, 0), "");
    EXPECT_EQ(c.ParsePageLine("", 0, 1), "");
}

TEST_F(Parser, TitleAndMeta) {
    Page({"<html><head><title>First</title>",
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">",
          "<meta http-equiv=\"refresh\" content=\"5; URL=http://example.org/ next\">",
          "<title>Second</title>"});
    EXPECT_EQ(c.m_strTitle, "First");
    EXPECT_EQ(c.m_nCharset, 1);
    EXPECT_EQ(c.m_nRefreshSeconds, 5);
    EXPECT_EQ(c.m_strRefreshUrl, "http://example.org/next");
    Page({"<META CHARSET=utf-8>"});
    EXPECT_EQ(c.m_nCharset, 2);
}

TEST_F(Parser, Entities) {
    EXPECT_EQ(c.DecodeEntities("&lt;b&gt; &amp;lt; &quot;&nbsp;&copy;&yen"), "<b> < \" c\xC2\xA5");
    EXPECT_EQ(c.DecodeEntities("&#65;&#65;x&#233;&#x41;"),
              "AAx\xC3\xA9"
              "A");
    EXPECT_EQ(c.DecodeEntities("&#12354;"), "\xE3\x81\x82");
    for (const char* bad : {"&#0;", "&#xD800;", "&#x110000;", "&#x;"})
        EXPECT_EQ(c.DecodeEntities(bad), "\xEF\xBF\xBD") << bad;
    EXPECT_EQ(c.DecodeEntities("&#99999999999;"), "&#99999999999;");
    EXPECT_EQ(c.DecodeEntities("&#65"), "&#65");
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "&raquo";
    EXPECT_EQ(c.DecodeEntities(many).size(), 300000u);
}

TEST_F(Parser, TwoFormsAndHiddenOnly) {
    const std::string out =
        Page({"<p>Search</p>", "<form action=\"/s\" method=get>",
              "<input type=text name=q value=\"a&amp;b\">", "<input type=submit></form>",
              "<FORM><input type=hidden name=h></FORM>",
              "<form name=two><select name=x><option>1</select>", "<textarea>t</textarea>",
              "</form>end"});
    ASSERT_EQ(c.m_arrForms.size(), 2u);
    EXPECT_EQ(c.m_nFormCount, 2);
    EXPECT_NE(c.m_arrForms[0].find("value=\"a&b\""), std::string::npos);
    EXPECT_EQ(c.m_arrForms[0].rfind("<form action=\"/s\" method=get>", 0), 0u);
    EXPECT_NE(c.m_arrForms[1].find("<textarea>"), std::string::npos);
    EXPECT_NE(out.find(kForm + "0:"), std::string::npos);
    EXPECT_NE(out.find(kForm + "1:"), std::string::npos);
    EXPECT_EQ(out.find(kForm + "2:"), std::string::npos);
}

TEST_F(Parser, FormLeftOpenClosesAtFinish) {
    c.ParsePageLine("<form><input name=q>", 0, 0);
    EXPECT_EQ(c.ParsePageLine("", 0, 1), kForm + "0:");
    EXPECT_EQ(c.m_arrForms.size(), 1u);
}

TEST_F(Parser, LinksAndBase) {
    c.m_strFinalUrl = "http://host/dir/page.html";
    const std::string out =
        Page({"<a href=\"one.html\">One</a> and <A HREF=/two>Two</A>", "<a href=\"\">none</a>"});
    ASSERT_EQ(c.m_arrLinks.size(), 2u);
    EXPECT_EQ(c.m_arrLinks[0], "http://host/dir/one.html");
    EXPECT_EQ(c.m_arrLinks[1], "http://host/two");
    EXPECT_NE(out.find("\r\n" + kLink + "0:One"), std::string::npos);
    EXPECT_NE(out.find("\r\n" + kLink + "1:Two"), std::string::npos);
    c.ParsePageLine("", 1, 0);
    Page({"<base href=\"http://other/x/\">", "<a href=\"y.html\">Y</a>"});
    EXPECT_EQ(c.m_strBaseHref, "http://other/x/");
    EXPECT_EQ(c.m_arrLinks.back(), "http://other/x/y.html");
    EXPECT_EQ(c.m_nLinkCount, 3);
}

TEST_F(Parser, Frames) {
    c.m_strRequestUrl = "http://host/f/index.html";
    c.m_strFinalUrl = "http://elsewhere/";
    Page({"<frameset cols=\"50%,50%\">", "<frame src=\"menu.html\" name=\"menu\">",
          "<FRAME SRC=\"main.html\">", "<frame src=\"menu.html\" name=\"again\">", "</frameset>"});
    ASSERT_EQ(c.m_arrFrameSrc.size(), 2u);
    ASSERT_EQ(c.m_arrFrameName.size(), 2u);
    EXPECT_EQ(c.m_arrFrameSrc[0], "http://host/f/menu.html");
    EXPECT_EQ(c.m_arrFrameName[0], "menu");
    EXPECT_EQ(c.m_arrFrameSrc[1], "http://host/f/main.html");
    EXPECT_EQ(c.m_arrFrameName[1], "");
}

TEST_F(Parser, ImageTexts) {
    EXPECT_EQ(Page({"a<img src=\"x.png\" alt=\"Logo\">b"}), "a(Logo)b");
    EXPECT_EQ(Page({"a<IMG SRC=x.png>b"}), "ab");
    EXPECT_EQ(Page({"a<img src=x alt=bare>b"}), "a(bare)b");
}

TEST_F(Parser, RssFeed) {
    c.m_strFinalUrl = "http://feed/rss.xml";
    const std::string out =
        Page({"<rss><channel>", "<title>Channel</title><description>About</description>", "<item>",
              "<title>First</title>", "<link>http://feed/1</link>", "<dc:creator>me</dc:creator>",
              "</item>", "<item><title>Second</title><link>http://feed/2</link></item>",
              "</channel></rss>"});
    EXPECT_NE(out.find(kLink + "0:First\r\n"), std::string::npos);
    EXPECT_NE(out.find(kLink + "1:Second\r\n"), std::string::npos);
    EXPECT_EQ(out.find("me"), std::string::npos);
    EXPECT_EQ(out.find("About"), std::string::npos);
    ASSERT_EQ(c.m_arrLinks.size(), 2u);
    EXPECT_EQ(c.m_arrLinks[1], "http://feed/2");
}

TEST_F(Parser, AtomLikeFeedWithoutChannelKeepsText) {
    // Without a channel the item text is ordinary text, links still count.
    const std::string out =
        Page({"<feed>", "<entry><title>T</title><a href=\"http://x/\">x</a></entry>", "</feed>"});
    EXPECT_NE(out.find(kLink + "0:x"), std::string::npos);
}

TEST_F(Parser, BadPagesStayBounded) {
    for (int i = 0; i < 3000; ++i)
        c.ParsePageLine("<!-- never closed ", 0, 0);
    c.ParsePageLine("", 1, 0);
    std::string tags;
    for (int i = 0; i < 100000; ++i)
        tags += "<b";
    tags += ">";
    EXPECT_EQ(c.ParsePageLine(tags, 0, 0), "");
    c.ParsePageLine("", 1, 0);
    std::string fields = "<form>";
    for (int i = 0; i < 10000; ++i)
        fields += "<input name=f" + std::to_string(i) + ">";
    c.ParsePageLine(fields, 0, 0);
    c.ParsePageLine("</form>", 0, 0);
    EXPECT_EQ(c.m_arrForms.size(), 1u);
    c.ParsePageLine("", 1, 0);
    const std::string nul("a\0b\rc<x\0>", 9);
    EXPECT_EQ(c.ParsePageLine(nul, 0, 0), std::string("a\0b\rc", 5));
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<table><tr><td>";
    EXPECT_EQ(c.ParsePageLine(deep, 0, 0), "");
}

}  // namespace

namespace {

TEST_F(Parser, CrOnlyLineEndsAndLongItemLines) {
    EXPECT_EQ(Page({"one\rtwo\r<br>three\r"}), "one\rtwo\r\r\nthree\r");
    std::string items = "<channel>";
    for (int i = 0; i < 20000; ++i)
        items += "<item><b>x</b></item>";
    const std::string out = Page({items});
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 40000);
}

}  // namespace
