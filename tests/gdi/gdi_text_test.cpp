// Fonts and TextOutA: sizes, fallback, where the ink lands for each alignment.
#include <gtest/gtest.h>

#include <string>

#include "ink.h"
#include "platform/fonts.h"
#include "platform/gdi.h"

namespace {

constexpr COLORREF kLabel = 0xFFFF00;

HFONT MakeFont(int height, int weight, const char* face) {
    return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, face);
}

bool HaveFonts() { return fonts::RenderGlyphSet({"Verdana", -19, FW_BOLD, false}).HasInk(); }

// The disc label's font and colours on a 256 x 64 black bitmap.
class LabelCanvas : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveFonts()) {
            GTEST_SKIP() << "no font on this system";
        }
        SelectObject(dc_, bitmap_);
        SelectObject(dc_, font_);
        SetTextColor(dc_, kLabel);
        SetBkMode(dc_, TRANSPARENT);
    }
    void TearDown() override {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
        DeleteObject(font_);
    }
    InkBox Draw(UINT align, int x, int y) {
        SetTextAlign(dc_, align);
        EXPECT_EQ(TextOutA(dc_, x, y, "VORMIKA", 7), TRUE);
        return FindInk(256, 64, kLabel, [&](int px, int py) { return GetPixel(dc_, px, py); });
    }

    HDC dc_ = CreateCompatibleDC(nullptr);
    HBITMAP bitmap_ = CreateBitmap(256, 64, 1, 32, nullptr);
    HFONT font_ = MakeFont(-19, FW_BOLD, "Verdana");
};

} // namespace

TEST(FontSize, FourteenPointsAtNinetySixDpiIsANineteenPixelEm) {
    HDC dc = CreateCompatibleDC(nullptr);
    const int height = -((14 * GetDeviceCaps(dc, LOGPIXELSY) + 36) / 72); // MulDiv rounding
    DeleteDC(dc);
    EXPECT_EQ(height, -19);
    if (!HaveFonts()) {
        GTEST_SKIP() << "no font on this system";
    }
    // A capital's ink is about 0.73 em tall; the cell is taller than the em.
    const fonts::GlyphSet label = fonts::RenderGlyphSet({"Verdana", height, FW_BOLD, false});
    EXPECT_GE(label.Get('H').rows, 12);
    EXPECT_LE(label.Get('H').rows, 16);
    EXPECT_GT(label.Height(), 19);
    EXPECT_LE(label.Height(), 26);
    // A positive height is the whole cell; zero means a 12-pixel em.
    EXPECT_EQ(fonts::RenderGlyphSet({"Verdana", 19, FW_BOLD, false}).Height(), 19);
    EXPECT_EQ(fonts::RenderGlyphSet({"Verdana", 0, FW_NORMAL, false}).Height(),
              fonts::RenderGlyphSet({"Verdana", -12, FW_NORMAL, false}).Height());
}

TEST(FontFallback, MissingFamilyIsSaidOnce) {
    testing::internal::CaptureStderr();
    HFONT first = MakeFont(-9, FW_NORMAL, "Vormika Missing Family");
    HFONT second = MakeFont(-12, FW_BOLD, "Vormika Missing Family");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    const std::string notice = "vormika: font \"Vormika Missing Family\" not found, using \"";
    const auto at = said.find(notice);
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(notice, at + 1), std::string::npos) << said;
    DeleteObject(first);
    DeleteObject(second);
}

TEST_F(LabelCanvas, CentreTopPutsInkCentredOnXAndStartingAtY) {
    const InkBox ink = Draw(TA_CENTER | TA_TOP, 128, 12);
    ASSERT_TRUE(ink.Any());
    EXPECT_NEAR(ink.CentreX(), 128.0, 2.0);
    EXPECT_GE(ink.top, 12);
    EXPECT_LE(ink.top, 12 + 6);
    // Edges are blended, but the glyphs' insides are the text colour exactly.
    EXPECT_GT(ink.full, 50);
}

TEST_F(LabelCanvas, RightBaselineAndClippingAtTheEdges) {
    InkBox ink = Draw(TA_RIGHT | TA_BASELINE, 200, 40);
    ASSERT_TRUE(ink.Any());
    EXPECT_LE(ink.right, 200);
    EXPECT_GE(ink.right, 200 - 3);
    // Capitals stand on the baseline: their ink ends on the row above it.
    EXPECT_NEAR(ink.bottom, 40, 1);
    // Text hanging over an edge is cut off there.
    Draw(TA_LEFT | TA_TOP, -40, -8);
    ink = Draw(TA_LEFT | TA_BOTTOM, 220, 70);
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
    EXPECT_EQ(ink.right, 256);
    EXPECT_EQ(ink.bottom, 64);
}
