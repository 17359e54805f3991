// Fonts and TextOutA: sizes, fallback, where the ink lands for each alignment.
#include <gtest/gtest.h>

#include <string>

#include "platform/fonts.h"
#include "platform/gdi.h"

namespace {

constexpr COLORREF kLabel = 0xFFFF00;

// The disc label's height rule: 14 points at the DC's vertical resolution.
int LabelHeight(HDC dc) {
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    return -((14 * dpi + 36) / 72);
}

HFONT MakeFont(int height, int weight, const char* face) {
    return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, face);
}

struct Ink {
    int left = 1 << 30;
    int top = 1 << 30;
    int right = -1; // exclusive
    int bottom = -1;
    int full = 0;   // pixels of exactly the text colour
    bool Any() const { return right >= 0; }
};

Ink FindInk(HDC dc, int width, int height, COLORREF colour) {
    Ink ink;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF pixel = GetPixel(dc, x, y);
            if (pixel == 0) {
                continue;
            }
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
            ink.full += pixel == colour ? 1 : 0;
        }
    }
    return ink;
}

// A 256 x 64 black canvas with the disc label's font selected.
class LabelCanvas : public ::testing::Test {
protected:
    void SetUp() override {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateBitmap(256, 64, 1, 32, nullptr);
        SelectObject(dc_, bitmap_);
        font_ = MakeFont(LabelHeight(dc_), FW_BOLD, "Verdana");
        SelectObject(dc_, font_);
        SetTextColor(dc_, kLabel);
        SetBkMode(dc_, TRANSPARENT);
        if (!fonts::RenderGlyphSet({"Verdana", LabelHeight(dc_), FW_BOLD, false}).HasInk()) {
            GTEST_SKIP() << "no font on this system";
        }
    }
    void TearDown() override {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
        DeleteObject(font_);
    }
    Ink Draw(UINT align, int x, int y) {
        SetTextAlign(dc_, align);
        EXPECT_EQ(TextOutA(dc_, x, y, "VORMIKA", 7), TRUE);
        return FindInk(dc_, 256, 64, kLabel);
    }

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HFONT font_ = nullptr;
};

} // namespace

TEST(FontSize, FourteenPointsAtNinetySixDpiIsANineteenPixelEm) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(LabelHeight(dc), -19);
    DeleteDC(dc);
    const fonts::GlyphSet label = fonts::RenderGlyphSet({"Verdana", -19, FW_BOLD, false});
    if (!label.HasInk()) {
        GTEST_SKIP() << "no font on this system";
    }
    // A capital's ink is about 0.73 em tall; the cell is taller than the em.
    const fonts::Glyph& h = label.Get('H');
    EXPECT_GE(h.rows, 12);
    EXPECT_LE(h.rows, 16);
    EXPECT_GT(label.Height(), 19);
    EXPECT_LE(label.Height(), 26);
    // A positive height is the whole cell; zero falls back to a 12-pixel em.
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

TEST(FontFallback, FontWithoutFaceMeasuresButDrawsNothing) {
    fonts::GlyphSet empty;
    empty.SetLineMetrics(8, 2);
    EXPECT_FALSE(empty.HasInk());
    EXPECT_EQ(empty.Height(), 10);
    EXPECT_EQ(empty.Get('A').width, 0);
    EXPECT_EQ(empty.TextWidth("ABC", 3), 0);
}

TEST_F(LabelCanvas, CentreTopPutsInkCentredOnXAndStartingAtY) {
    const Ink ink = Draw(TA_CENTER | TA_TOP, 128, 12);
    ASSERT_TRUE(ink.Any());
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 128.0, 2.0);
    EXPECT_GE(ink.top, 12);
    EXPECT_LE(ink.top, 12 + 6);
    // Anti-aliasing blends the edges, but the glyphs' insides are the text colour exactly.
    EXPECT_GT(ink.full, 50);
}

TEST_F(LabelCanvas, RightAndBaselineAlignment) {
    const Ink ink = Draw(TA_RIGHT | TA_BASELINE, 200, 40);
    ASSERT_TRUE(ink.Any());
    EXPECT_LE(ink.right, 200);
    EXPECT_GE(ink.right, 200 - 3);
    // Capitals stand on the baseline: their ink ends on the row above it.
    EXPECT_GE(ink.bottom, 40 - 1);
    EXPECT_LE(ink.bottom, 40 + 1);
}

TEST_F(LabelCanvas, LeftBottomAlignmentAndClippingAtTheEdges) {
    Ink ink = Draw(TA_LEFT | TA_BOTTOM, 10, 60);
    ASSERT_TRUE(ink.Any());
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.left, 10 + 3);
    EXPECT_LE(ink.bottom, 60);
    // Text hanging over any edge is cut off there, nothing else happens.
    Draw(TA_LEFT | TA_TOP, -40, -8);
    Draw(TA_LEFT | TA_TOP, 220, 58);
    ink = FindInk(dc_, 256, 64, kLabel);
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
    EXPECT_EQ(ink.right, 256);
    EXPECT_EQ(ink.bottom, 64);
}

TEST_F(LabelCanvas, OpaqueModeFillsTheTextCellWhite) {
    SetBkMode(dc_, OPAQUE);
    Draw(TA_LEFT | TA_TOP, 0, 0);
    EXPECT_EQ(GetPixel(dc_, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(GetPixel(dc_, 0, 63), 0u);
}
