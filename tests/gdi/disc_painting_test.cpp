// The disc texture's painting, every call but the label, gives its picture to the pixel.
#include <gtest/gtest.h>

#include <map>

#include "platform/gdi.h"

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kStripe = 0x00FF00;
constexpr COLORREF kFlank = 0x0FF008;
constexpr COLORREF kRule = 0xFFFF00;
constexpr COLORREF kBand = 0xAAAAA1;

void Vertical(HDC dc, int x) {
    MoveToEx(dc, x, 0, nullptr);
    LineTo(dc, x, 256);
}

void Horizontal(HDC dc, int y) {
    MoveToEx(dc, 0, y, nullptr);
    LineTo(dc, 256, y);
}

// The ground stripes, their flanks, the side edges and the edge rule, in painting order.
void PaintStripesAndEdges(HDC dc, HPEN stripe, HPEN flank) {
    Vertical(dc, 0);
    for (int x0 = -1; x0 + 1 < 256; x0 += 32) {
        SelectObject(dc, stripe);
        Vertical(dc, x0 + 1);
        SelectObject(dc, flank);
        Vertical(dc, x0 + 2);
        Vertical(dc, x0);
    }
    for (int i = 0, j = 256; i < 16; ++i, --j) {
        HPEN edge = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(i));
        SelectObject(dc, edge);
        Vertical(dc, i);
        Vertical(dc, j);
        DeleteObject(edge);
    }
    HPEN rule = CreatePen(PS_SOLID, 1, kRule);
    SelectObject(dc, rule);
    Vertical(dc, 0);
    DeleteObject(rule);
}

// The label band, its grooves and the rules around it; the label itself is left out.
void PaintBandAndRules(HDC dc, HPEN ground, HPEN stripe, HPEN flank, HBRUSH_GDI band) {
    SelectObject(dc, band);
    SelectObject(dc, ground);
    Rectangle(dc, -1, 211, 257, 256);
    for (int i = 0; i <= 8; i += 2) {
        const int h = i / 2;
        const int t = i / 3;
        const BYTE level = static_cast<BYTE>((h + 6) * 16);
        HPEN groove = CreatePen(PS_SOLID, 1, RGB(level, level, level));
        SelectObject(dc, groove);
        for (int y : {241 - h, 241 + h, 231 - t, 231 + t, 221 - h, 221 + h}) {
            Horizontal(dc, y);
        }
        DeleteObject(groove);
    }
    const std::pair<HPEN, int> rules[] = {{stripe, 211}, {flank, 212}, {flank, 210},
                                          {stripe, 251}, {flank, 252}, {flank, 253}};
    for (const auto& [pen, y] : rules) {
        SelectObject(dc, pen);
        Horizontal(dc, y);
    }
}

COLORREF ColumnColour(int x) {
    if (x == 0) {
        return kRule;
    }
    if (x <= 15) {
        return static_cast<COLORREF>(x);
    }
    if (x >= 241) {
        return static_cast<COLORREF>(256 - x);
    }
    if (x % 32 == 0) {
        return kStripe;
    }
    return x % 32 == 31 || x % 32 == 1 ? kFlank : kRed;
}

// Rows 210 to 255 by row: the rules, the grooves' grey levels, the band and its outline.
COLORREF Expected(int x, int y) {
    static const std::map<int, COLORREF> rows = {
        {210, kFlank}, {211, kStripe}, {212, kFlank}, {251, kStripe}, {252, kFlank},
        {253, kFlank}, {254, kBand},   {255, kRed}};
    static const int grooves[][2] = {
        {217, 0xA0}, {218, 0x90}, {219, 0x80}, {220, 0x70}, {221, 0x60}, {222, 0x70},
        {223, 0x80}, {224, 0x90}, {225, 0xA0}, {229, 0xA0}, {230, 0x80}, {231, 0x70},
        {232, 0x80}, {233, 0xA0}, {237, 0xA0}, {238, 0x90}, {239, 0x80}, {240, 0x70},
        {241, 0x60}, {242, 0x70}, {243, 0x80}, {244, 0x90}, {245, 0xA0}};
    if (y <= 209) {
        return ColumnColour(x);
    }
    for (const auto& [row, level] : grooves) {
        if (row == y) {
            return RGB(static_cast<BYTE>(level), static_cast<BYTE>(level), static_cast<BYTE>(level));
        }
    }
    const auto row = rows.find(y);
    return row != rows.end() ? row->second : kBand;
}

} // namespace

TEST(DiscPainting, GivesTheWholePictureToThePixel) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(256, 256, 1, 32, nullptr);
    SelectObject(dc, bitmap);
    HBRUSH_GDI groundBrush = CreateSolidBrush(kRed);
    HPEN ground = CreatePen(PS_SOLID, 1, kRed);
    SelectObject(dc, groundBrush);
    SelectObject(dc, ground);
    Rectangle(dc, 0, 0, 256, 256);
    HPEN stripe = CreatePen(PS_SOLID, 1, kStripe);
    HPEN flank = CreatePen(PS_SOLID, 1, kFlank);
    SelectObject(dc, stripe);
    PaintStripesAndEdges(dc, stripe, flank);
    HBRUSH_GDI band = CreateSolidBrush(kBand);
    PaintBandAndRules(dc, ground, stripe, flank, band);

    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            if (GetPixel(dc, x, y) != Expected(x, y) && ++wrong <= 10) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex
                              << GetPixel(dc, x, y) << ", not " << Expected(x, y);
            }
        }
    }
    EXPECT_EQ(wrong, 0);

    EXPECT_EQ(DeleteDC(dc), TRUE);
    for (HGDIOBJ object : {bitmap, groundBrush, ground, stripe, flank, band}) {
        EXPECT_EQ(DeleteObject(object), TRUE);
    }
}
