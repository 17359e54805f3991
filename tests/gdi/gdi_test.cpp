// The gdi stand-in: lines, rectangles, pixels, handles, and the disc painting's picture.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

#include "platform/gdi.h"

namespace {

using Pixel = std::pair<int, int>;

// A memory DC with a fresh black bitmap selected; everything is deleted afterwards.
class Canvas {
public:
    Canvas(int width, int height) : dc_(CreateCompatibleDC(nullptr)) {
        bitmap_ = CreateBitmap(width, height, 1, 32, nullptr);
        SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC dc() const { return dc_; }

    std::set<Pixel> PixelsOf(COLORREF colour, int width, int height) const {
        std::set<Pixel> found;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (GetPixel(dc_, x, y) == colour) {
                    found.insert({x, y});
                }
            }
        }
        return found;
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
};

constexpr COLORREF kInk = 0x123456;

} // namespace

TEST(GdiLine, LeavesOutTheEndPointInEveryDirection) {
    struct Case {
        int x0, y0, x1, y1;
        std::set<Pixel> pixels;
    };
    const Case cases[] = {
        {2, 3, 6, 3, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
        {6, 3, 2, 3, {{6, 3}, {5, 3}, {4, 3}, {3, 3}}},
        {4, 4, 4, 1, {{4, 4}, {4, 3}, {4, 2}}},
        {3, 3, 0, 0, {{3, 3}, {2, 2}, {1, 1}}},
        {0, 4, 4, 0, {{0, 4}, {1, 3}, {2, 2}, {3, 1}}},
        // Steep and shallow lines touch each major row or column exactly once.
        {1, 0, 3, 5, {{1, 0}, {1, 1}, {2, 2}, {2, 3}, {3, 4}}},
        {0, 1, 5, 3, {{0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}}},
        {5, 5, 5, 5, {}},
    };
    for (const Case& c : cases) {
        Canvas canvas(8, 8);
        HPEN pen = CreatePen(PS_SOLID, 1, kInk);
        SelectObject(canvas.dc(), pen);
        MoveToEx(canvas.dc(), c.x0, c.y0, nullptr);
        EXPECT_EQ(LineTo(canvas.dc(), c.x1, c.y1), TRUE);
        EXPECT_EQ(canvas.PixelsOf(kInk, 8, 8), c.pixels)
            << "(" << c.x0 << "," << c.y0 << ")-(" << c.x1 << "," << c.y1 << ")";
        DeleteObject(pen);
    }
}

TEST(GdiLine, ClipsToTheBitmapAndSurvivesFarEndPoints) {
    Canvas canvas(16, 16);
    HPEN pen = CreatePen(PS_SOLID, 1, kInk);
    SelectObject(canvas.dc(), pen);
    // The painting's lines run from -1 and to 256 on a 256-wide bitmap.
    MoveToEx(canvas.dc(), -1, 5, nullptr);
    LineTo(canvas.dc(), 16, 5);
    EXPECT_EQ(canvas.PixelsOf(kInk, 16, 16).size(), 16u);
    MoveToEx(canvas.dc(), INT_MIN, INT_MIN, nullptr);
    LineTo(canvas.dc(), INT_MAX, INT_MAX);
    MoveToEx(canvas.dc(), INT_MAX, 7, nullptr);
    LineTo(canvas.dc(), INT_MIN, 7);
    EXPECT_EQ(GetPixel(canvas.dc(), 3, 7), kInk);
    EXPECT_EQ(GetPixel(canvas.dc(), 9, 9), kInk);
    DeleteObject(pen);
}

TEST(GdiRectangle, OutlineTakesRightAndBottomMinusOneAndBrushFillsInside) {
    Canvas canvas(8, 8);
    HPEN pen = CreatePen(PS_SOLID, 1, 0x0000FF);
    HBRUSH_GDI brush = CreateSolidBrush(0x00FF00);
    SelectObject(canvas.dc(), pen);
    SelectObject(canvas.dc(), brush);
    EXPECT_EQ(Rectangle(canvas.dc(), 1, 1, 6, 5), TRUE);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x <= 5 && y >= 1 && y <= 4;
            const bool edge = x == 1 || x == 5 || y == 1 || y == 4;
            const COLORREF expected = !inside ? 0 : edge ? 0x0000FF : 0x00FF00;
            EXPECT_EQ(GetPixel(canvas.dc(), x, y), expected) << x << "," << y;
        }
    }
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST(GdiPixels, NewBitmapIsBlackAndOutsideReadsInvalid) {
    Canvas canvas(4, 3);
    EXPECT_EQ(GetPixel(canvas.dc(), 3, 2), 0u);
    const Pixel outside[] = {{-1, 0}, {0, -1}, {4, 0}, {0, 3}};
    for (const auto& [x, y] : outside) {
        EXPECT_EQ(GetPixel(canvas.dc(), x, y), CLR_INVALID) << x << "," << y;
    }
    EXPECT_EQ(GetDeviceCaps(canvas.dc(), LOGPIXELSY), 96);
    EXPECT_EQ(CreateBitmap(4, 4, 1, 8, nullptr), nullptr);
}

TEST(GdiHandles, BadHandlesFailWithoutHarm) {
    HDC bogusDc = reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0xDEAD0));
    HGDIOBJ bogus = reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(0xBEEF0));
    EXPECT_EQ(LineTo(bogusDc, 1, 1), FALSE);
    EXPECT_EQ(Rectangle(bogusDc, 0, 0, 2, 2), FALSE);
    EXPECT_EQ(GetPixel(bogusDc, 0, 0), CLR_INVALID);
    EXPECT_EQ(TextOutA(bogusDc, 0, 0, "x", 1), FALSE);
    EXPECT_EQ(DeleteDC(bogusDc), FALSE);
    EXPECT_EQ(DeleteObject(bogus), FALSE);
    EXPECT_EQ(DeleteObject(HGDI_ERROR), FALSE);

    Canvas canvas(4, 4);
    EXPECT_EQ(SelectObject(canvas.dc(), bogus), nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, kInk);
    EXPECT_EQ(DeleteObject(pen), TRUE);
    EXPECT_EQ(DeleteObject(pen), FALSE);
    EXPECT_EQ(SelectObject(canvas.dc(), pen), nullptr);
    // A DC handle is not an object handle.
    EXPECT_EQ(SelectObject(canvas.dc(), reinterpret_cast<HGDIOBJ>(canvas.dc())), nullptr);
}

// The disc painting deletes each edge pen while it is still selected, then selects the next.
TEST(GdiHandles, SelectReturnsThePreviousOfItsKindAndDeletedPensDrawUntilReplaced) {
    Canvas canvas(4, 4);
    HPEN pen = CreatePen(PS_SOLID, 1, kInk);
    HBRUSH_GDI brush = CreateSolidBrush(3);
    const HGDIOBJ stockPen = SelectObject(canvas.dc(), pen);
    EXPECT_NE(stockPen, nullptr);
    EXPECT_NE(SelectObject(canvas.dc(), brush), pen);
    EXPECT_EQ(DeleteObject(pen), TRUE);
    MoveToEx(canvas.dc(), 0, 0, nullptr);
    LineTo(canvas.dc(), 4, 0);
    EXPECT_EQ(GetPixel(canvas.dc(), 3, 0), kInk);
    EXPECT_EQ(SelectObject(canvas.dc(), stockPen), pen);
    EXPECT_EQ(SelectObject(canvas.dc(), pen), nullptr); // gone once let go
    DeleteObject(brush);
}
