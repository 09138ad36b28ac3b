// The small platform services: the random generator, the clock, paths and
// the device context's drawing.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/digest.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/typeahead.h"
#include "platform/window.h"
#include "ranking/AreaList.h"

namespace {

TEST(Random, ReproducesTheClassicRuntimeSequence) {
    plat::Srand(1);
    const int first[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int expected : first) {
        EXPECT_EQ(plat::Rand(), expected);
    }
    plat::Srand(12345);
    EXPECT_EQ(plat::Rand(), 7584);
    plat::Srand(1);
    EXPECT_EQ(plat::Rand(), 41);
}

TEST(Random, StaysInRangeForAnySeed) {
    plat::Srand(0xffffffffu);
    for (int i = 0; i < 100000; ++i) {
        const int v = plat::Rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, plat::RAND_MAX_VALUE);
    }
}

TEST(Clock, FakeClockDrivesTicksAndSleeps) {
    plat::CFakeClock clock(0xfffffff0u);
    plat::CClockGuard guard(clock);
    EXPECT_EQ(plat::GetTickCount(), 0xfffffff0u);
    plat::Sleep(2000);  // returns at once, time moves on and wraps
    EXPECT_EQ(plat::GetTickCount(), 0xfffffff0u + 2000u);
    EXPECT_EQ(clock.Slept(), 2000u);
}

TEST(Paths, BackslashesBecomeSlashes) {
    EXPECT_EQ(plat::ToFsPath("/base\\image\\UFO.kpg"), "/base/image/UFO.kpg");
    EXPECT_FALSE(plat::FileExists("/nonexistent\\x.kwv"));
    EXPECT_FALSE(plat::FileExists("/tmp"));  // folders are not files
}

TEST(Dialog, UnitsConvertAtTheFontsBaseUnits) {
    EXPECT_EQ(plat::DluToPixelsX(488), 732);
    EXPECT_EQ(plat::DluToPixelsY(351), 570);
}

class DrawTest : public ::testing::Test {
protected:
    plat::CSurface m_surface{200, 100};
};

TEST_F(DrawTest, RectangleFillsWithTheBrushInsideABlackPen) {
    const plat::CBrush red(plat::RGB(255, 0, 0));
    {
        plat::CDC dc(m_surface);
        const plat::CBrush* old = dc.SelectObject(&red);
        dc.Rectangle(10, 10, 50, 40);
        dc.SelectObject(old);
        dc.FillRect({60, 10, 70, 20}, &red);
    }
    EXPECT_EQ(m_surface.GetPixel(10, 10), plat::RGB(0, 0, 0));
    EXPECT_EQ(m_surface.GetPixel(30, 25), plat::RGB(255, 0, 0));
    EXPECT_EQ(m_surface.GetPixel(50, 25), plat::RGB(0, 0, 0));  // right edge excluded
    EXPECT_EQ(m_surface.GetPixel(69, 19), plat::RGB(255, 0, 0));
    EXPECT_EQ(m_surface.GetPixel(70, 20), plat::RGB(0, 0, 0));
}

TEST_F(DrawTest, TextOutPaintsItsColourOnAnOpaqueBackground) {
    plat::CFont font;
    font.CreateFont(-27, "Arial");
    {
        plat::CDC dc(m_surface);
        dc.SelectObject(&font);
        dc.SetBkColor(plat::RGB(0, 0, 255));
        dc.SetTextColor(plat::RGB(255, 255, 0));
        dc.TextOut(5, 5, "SCORE 10");
    }
    int yellow = 0;
    int blue = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 200; ++x) {
            const plat::COLORREF c = m_surface.GetPixel(x, y);
            yellow += c == plat::RGB(255, 255, 0);
            blue += c == plat::RGB(0, 0, 255);
        }
    }
    EXPECT_GT(yellow, 50);
    EXPECT_GT(blue, 500);
    EXPECT_EQ(m_surface.GetPixel(4, 4), plat::RGB(0, 0, 0));
}

TEST_F(DrawTest, PicturesBlitOpaqueOrWithTheirBlackLeftOut) {
    // A 20 x 20 picture: black with a green 10 x 10 square in its middle.
    plat::CSurface art(20, 20);
    {
        plat::CDC dc(art);
        const plat::CBrush green(plat::RGB(0, 255, 0));
        dc.FillRect({5, 5, 15, 15}, &green);
    }
    const std::string file = ::testing::TempDir() + "art.kpg";
    ASSERT_TRUE(art.WritePng(file));
    plat::CImage image;
    ASSERT_EQ(image.Load(file), 0);  // read by content, whatever the name
    EXPECT_EQ(image.GetWidth(), 20);

    const plat::CBrush grey(plat::RGB(128, 128, 128));
    {
        plat::CDC dc(m_surface);
        dc.FillRect({0, 0, 200, 100}, &grey);
        dc.BitBlt(0, 0, 20, 20, image, 0, 0);
        dc.TransparentBlt(100, 0, 40, 40, image, 0, 0, 20, 20, plat::RGB(0, 0, 0));
        dc.TransparentBlt(150, 0, 0, 0, image, 0, 0, 20, 20, plat::RGB(0, 0, 0));
    }
    EXPECT_EQ(m_surface.GetPixel(1, 1), plat::RGB(0, 0, 0));  // opaque black
    EXPECT_EQ(m_surface.GetPixel(10, 10), plat::RGB(0, 255, 0));
    EXPECT_EQ(m_surface.GetPixel(101, 1), plat::RGB(128, 128, 128));  // keyed out
    EXPECT_EQ(m_surface.GetPixel(120, 20), plat::RGB(0, 255, 0));     // stretched x2
    EXPECT_EQ(m_surface.GetPixel(150, 0), plat::RGB(128, 128, 128));  // zero size: nothing
    std::remove(file.c_str());
}

TEST_F(DrawTest, BrokenPictureLoadsAsEmptyAndDrawsNothing) {
    const std::string file = ::testing::TempDir() + "broken.kpg";
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fputs("\x89PNG\r\n\x1a\n not really", f);
    std::fclose(f);
    plat::CImage image;
    EXPECT_LT(image.Load(file), 0);
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_LT(image.Load("/no/such\\file.kpg"), 0);
    plat::CDC dc(m_surface);
    dc.TransparentBlt(0, 0, 10, 10, image, 0, 0, 10, 10, 0);
    dc.BitBlt(0, 0, 10, 10, image, 0, 0);
    std::remove(file.c_str());
}

}  // namespace

namespace {

TEST(Digest, Sha256OfTheStandardVectors) {
    EXPECT_EQ(plat::Sha256Hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(plat::Sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(plat::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(plat::Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Lengths at the edges of a block and of its padding.
    const struct {
        size_t n;
        const char* hex;
    } edges[] = {
        {55, "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {56, "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {63, "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
        {64, "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
        {119, "000b48d4edf0fa7bee3c6236ecd2785baa5db4eeb8bb54341b029e0d9fa5fb0c"},
    };
    for (const auto& e : edges) {
        EXPECT_EQ(plat::Sha256Hex(std::string(e.n, 'x')), e.hex) << e.n;
        EXPECT_EQ(plat::Sha256HexPortable(std::string(e.n, 'x')), e.hex) << e.n;
    }
    // Where the processor has SHA instructions, both ways agree on any bytes.
    std::string bytes;
    for (int i = 0; i < 5000; ++i) {
        bytes += static_cast<char>(plat::Rand());
        if (i % 97 == 0)
            ASSERT_EQ(plat::Sha256Hex(bytes), plat::Sha256HexPortable(bytes)) << i;
    }
}

}  // namespace

namespace {

std::vector<std::string> Areas() {
    return std::vector<std::string>(std::begin(ranking::kAreaList), std::end(ranking::kAreaList));
}

int IndexOf(const std::string& area) {
    const auto areas = Areas();
    return static_cast<int>(std::find(areas.begin(), areas.end(), area) - areas.begin());
}

// Types text at dwStart, one character every 200 ms, from the entry nFrom.
std::string TypeInto(plat::CTypeAhead& t, const std::string& text, uint32_t dwStart, int nFrom) {
    const auto areas = Areas();
    int at = nFrom;
    for (size_t i = 0; i < text.size(); ++i) {
        const int found = t.Type(static_cast<unsigned char>(text[i]),
                                 dwStart + 200 * static_cast<uint32_t>(i), areas, at);
        if (found >= 0)
            at = found;
    }
    return at >= 0 ? areas[at] : std::string("(none)");
}

TEST(TypeAhead, APrefixChoosesTheFirstAreaItBegins) {
    plat::CTypeAhead t;
    EXPECT_EQ(TypeInto(t, "jap", 1000, 0), "Japan");  // 84 presses down otherwise
    EXPECT_EQ(TypeInto(t, "UK", 5000, IndexOf("Japan")), "UK");
    EXPECT_EQ(TypeInto(t, "sri l", 9000, 0), "Sri Lanka");
    EXPECT_EQ(TypeInto(t, "viet", 13000, 0), "Viet Nam");
    EXPECT_EQ(TypeInto(t, "united", 17000, IndexOf("Japan")), "UAE");  // as far as it goes
}

TEST(TypeAhead, OneLetterAgainGoesOnToTheNextAndRoundToTheTop) {
    plat::CTypeAhead t;
    EXPECT_EQ(TypeInto(t, "j", 1000, 0), "Jamaica");
    EXPECT_EQ(TypeInto(t, "jj", 3000, IndexOf("Jamaica")), "Jordan");    // Japan, then Jordan
    EXPECT_EQ(TypeInto(t, "jjj", 4500, IndexOf("Jamaica")), "Jamaica");  // and round
    EXPECT_EQ(TypeInto(t, "j", 7000, IndexOf("Jordan")), "Jamaica");
    // The chosen area begins with the letter: the next one, as list boxes do.
    EXPECT_EQ(TypeInto(t, "s", 9000, 0), "Saint kitts and Nevis");
    EXPECT_EQ(TypeInto(t, "z", 12000, IndexOf("Zimbabwe")), "Zambia");
}

TEST(TypeAhead, ASecondsPauseStartsAnewAndNoMatchKeepsTheChoice) {
    plat::CTypeAhead t;
    const auto areas = Areas();
    EXPECT_EQ(t.Type('j', 1000, areas, 0), IndexOf("Jamaica"));
    EXPECT_TRUE(t.Typing(2000));
    EXPECT_FALSE(t.Typing(2001));
    EXPECT_EQ(t.Type('p', 2001, areas, IndexOf("Jamaica")), IndexOf("Pakistan"));
    EXPECT_EQ(t.Type('e', 3000, areas, IndexOf("Pakistan")), IndexOf("Peru"));
    EXPECT_EQ(t.Type('x', 3100, areas, IndexOf("Peru")), -1);  // "pex": nothing
    EXPECT_EQ(t.Type('q', 9000, areas, IndexOf("Peru")), IndexOf("Qatar"));
    // The counter may wrap between two letters.
    EXPECT_EQ(t.Type('c', 0xFFFFFF00u, areas, 0), IndexOf("Cambodia"));
    EXPECT_EQ(t.Type('h', 0x00000100u, areas, IndexOf("Cambodia")), IndexOf("Chad"));
    // Letters of no area, an empty list, no choice at all: nothing breaks.
    EXPECT_EQ(t.Type(0x3042, 20000, areas, 0), -1);
    EXPECT_EQ(t.Type('a', 30000, {}, -1), -1);
    EXPECT_EQ(t.Type('a', 40000, areas, -1), IndexOf("Afghanistan"));
    EXPECT_EQ(t.Type('a', 40100, {"\xc3\xa4", "a"}, 7), 1);
}

}  // namespace
