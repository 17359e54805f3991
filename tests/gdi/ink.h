// Where text ink landed on a black picture: its bounding box and how strong it is.
#pragma once

#include <algorithm>
#include <cstdint>

struct InkBox {
    int left = 1 << 30;
    int top = 1 << 30;
    int right = -1; // exclusive
    int bottom = -1;
    int full = 0;   // pixels of exactly the ink colour
    int strong = 0; // pixels of the ink's hue at half strength or more

    bool Any() const { return right >= 0; }
    double CentreX() const { return (left + right) / 2.0; }
    double CentreY() const { return (top + bottom) / 2.0; }
};

// read(x, y) gives a pixel's colour bits (any byte order, as long as colour uses the same).
template <class Read>
InkBox FindInk(int width, int height, std::uint32_t colour, Read read) {
    InkBox ink;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = read(x, y) & 0x00FFFFFFu;
            if (pixel == 0) {
                continue;
            }
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
            ink.full += pixel == (colour & 0x00FFFFFFu) ? 1 : 0;
            const bool hue = (pixel & ~colour) == 0 && (pixel & 0x808080u) != 0;
            ink.strong += hue ? 1 : 0;
        }
    }
    return ink;
}
