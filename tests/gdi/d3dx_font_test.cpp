// The D3DX font on a real device: its glyphs outlive the GDI font, clipping, colour.
#include <gtest/gtest.h>

#include <algorithm>

#include "gfxutil/d3dx8.h"
#include "ink.h"
#include "platform/d3d8_ext.h"
#include "platform/fonts.h"

namespace {

constexpr D3DCOLOR kGreen = 0xFF00FF00u;

// A black 1024 x 768 device and the interface font made as the shell makes it.
class FontOnDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(d3d8ext::CreateScreenDevice(1024, 768, &d3d_, &device_), D3D_OK);
        pixels_ = d3d8ext::BackBuffer(device_, &width_, &height_);
        ASSERT_NE(pixels_, nullptr);
        HFONT gdiFont = CreateFontA(-9, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                    VARIABLE_PITCH, "Small Fonts");
        EXPECT_EQ(D3DXCreateFont(nullptr, gdiFont, &font_), E_FAIL);
        ASSERT_EQ(D3DXCreateFont(device_, gdiFont, &font_), S_OK);
        // The D3DX font must not need the GDI font afterwards.
        DeleteObject(gdiFont);
        EXPECT_EQ(D3DXCreateFont(device_, gdiFont, &other_), E_FAIL);
        if (!fonts::RenderGlyphSet({"Small Fonts", -9, FW_NORMAL, false}).HasInk()) {
            GTEST_SKIP() << "no font on this system";
        }
    }

    void TearDown() override {
        for (IUnknownLike* object : {static_cast<IUnknownLike*>(font_),
                                     static_cast<IUnknownLike*>(device_),
                                     static_cast<IUnknownLike*>(d3d_)}) {
            if (object != nullptr) {
                object->Release();
            }
        }
    }

    InkBox Ink(D3DCOLOR colour) {
        InkBox ink = FindInk(width_, height_, colour,
                             [&](int x, int y) { return pixels_[y * width_ + x]; });
        std::fill(pixels_, pixels_ + width_ * height_, 0u);
        return ink;
    }

    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    ID3DXFont* font_ = nullptr;
    ID3DXFont* other_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

} // namespace

TEST_F(FontOnDevice, DrawsInTheRectangleAndClipsToItUnlessNoClip) {
    RECT rect = {100, 100, 300, 200};
    font_->Begin();
    const INT height = font_->DrawTextA("MAIN VIEW", -1, &rect, DT_LEFT, kGreen);
    EXPECT_GT(height, 9);
    EXPECT_LT(height, 16);
    InkBox ink = Ink(kGreen);
    ASSERT_TRUE(ink.Any());
    EXPECT_NEAR(ink.left, 100, 2);
    EXPECT_GE(ink.top, 100);
    EXPECT_LE(ink.bottom, 100 + height);
    // Small anti-aliased stems rarely reach full coverage, but the hue is the text's.
    EXPECT_GT(ink.strong, 20);

    RECT small = {100, 100, 120, 104};
    font_->DrawTextA("MAIN VIEW", -1, &small, DT_LEFT, kGreen);
    ink = Ink(kGreen);
    EXPECT_GE(ink.left, 100);
    EXPECT_GE(ink.top, 100);
    EXPECT_LE(ink.right, 120);
    EXPECT_LE(ink.bottom, 104);
    font_->DrawTextA("MAIN VIEW", -1, &small, DT_LEFT | DT_NOCLIP, kGreen);
    ink = Ink(kGreen);
    EXPECT_GT(ink.right, 120);
    EXPECT_GT(ink.bottom, 104);
    font_->End();
}

TEST_F(FontOnDevice, LabelCentredOnAPointTakesAlphaFromTheColour) {
    RECT point = {295, 450, 295, 450};
    font_->DrawTextA("TREE", -1, &point, DT_CENTER | DT_VCENTER | DT_NOCLIP, 0x80FFFFFFu);
    const InkBox ink = Ink(0xFFFFFFFFu);
    ASSERT_TRUE(ink.Any());
    EXPECT_NEAR(ink.CentreX(), 295.0, 2.0);
    EXPECT_NEAR(ink.CentreY(), 450.0, 3.0);
    EXPECT_EQ(ink.full, 0); // half alpha never reaches the full colour
}
