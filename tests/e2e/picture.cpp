// Reading what vormika shows from a grab of the screen (see picture.h).
#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace e2e {
namespace {

int Red(std::uint32_t p) { return static_cast<int>(p >> 16 & 0xFF); }
int Green(std::uint32_t p) { return static_cast<int>(p >> 8 & 0xFF); }
int Blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }

// The cursor's top row and left column are its full colour for their first six pixels.
bool LooksLikeCursorCorner(const Shot& shot, int x, int y) {
    for (int i = 0; i < 6; ++i) {
        if (!Near(shot.At(x + i, y), kCursorColour) || !Near(shot.At(x, y + i), kCursorColour)) {
            return false;
        }
    }
    return true;
}

// Hue in twelve 30-degree steps, or -1 for greys and dark pixels, whose hue light and
// shading decide rather than the ring's colour.
int HueStep(std::uint32_t p) {
    const int r = Red(p);
    const int g = Green(p);
    const int b = Blue(p);
    const int hi = std::max({r, g, b});
    const int lo = std::min({r, g, b});
    if (hi < 60 || hi - lo < hi / 3) {
        return -1;
    }
    double h = 0;
    const double d = hi - lo;
    if (hi == r) {
        h = std::fmod((g - b) / d + 6.0, 6.0);
    } else if (hi == g) {
        h = (b - r) / d + 2.0;
    } else {
        h = (r - g) / d + 4.0;
    }
    return static_cast<int>(h * 2.0) % 12;
}

// The seek tree's node centres: column i at x 33 + 75 i, row r (1 top) at y 450 + 75 r.
constexpr int kTreeX = 33;
constexpr int kTreeY = 450;
constexpr int kTreeStep = 75;

} // namespace

bool Near(std::uint32_t pixel, std::uint32_t colour, int tolerance) {
    return std::abs(Red(pixel) - Red(colour)) <= tolerance &&
           std::abs(Green(pixel) - Green(colour)) <= tolerance &&
           std::abs(Blue(pixel) - Blue(colour)) <= tolerance;
}

Shot Crop(const Shot& shot, const Rect& rect) {
    Shot part;
    part.width = rect.width;
    part.height = rect.height;
    part.pixels.reserve(static_cast<std::size_t>(rect.width) * rect.height);
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x) {
            part.pixels.push_back(shot.At(rect.x + x, rect.y + y));
        }
    }
    return part;
}

std::optional<Point> FindCursor(const Shot& now, const Shot& before) {
    for (int y = 0; y < now.height; ++y) {
        for (int x = 0; x < now.width; ++x) {
            if (Near(now.At(x, y), kCursorColour) && LooksLikeCursorCorner(now, x, y) &&
                !LooksLikeCursorCorner(before, x, y)) {
                return Point{x, y};
            }
        }
    }
    return std::nullopt;
}

bool CursorIsSolid(const Shot& shot, Point corner) {
    return Near(shot.At(corner.x + 5, corner.y + 5), kCursorColour);
}

std::array<int, 4> WhitePath(const Shot& shot) {
    std::array<int, 4> turns{};
    for (int row = 1; row <= 4; ++row) {
        int white = -1;
        int count = 0;
        for (int column = 0; column < 8; ++column) {
            // One pixel inside the node box's top edge, where its rim has the node's colour.
            const std::uint32_t p =
                shot.At(kTreeX + kTreeStep * column, kTreeY + kTreeStep * row - 14);
            if (std::min({Red(p), Green(p), Blue(p)}) > 150) {
                white = column;
                ++count;
            }
        }
        turns[4 - row] = count == 1 ? white : -1;
    }
    return turns;
}

Mark OptionMark(const Shot& shot, int rowTop) {
    // The 12x12 box is centred on the row's middle.
    const int top = rowTop + 10 - 6;
    int red = 0;
    int green = 0;
    for (int y = top; y < top + 12; ++y) {
        for (int x = 610; x < 622; ++x) {
            red += Red(shot.At(x, y));
            green += Green(shot.At(x, y));
        }
    }
    const int margin = 144 * 40;
    if (green > red + margin) {
        return Mark::Checked;
    }
    if (red > green + margin) {
        return Mark::Unchecked;
    }
    return Mark::Unclear;
}

double InsetHueChange(const Shot& a, const Shot& b) {
    // Inside the view's 20-pixel glow band and below its title.
    int compared = 0;
    int changed = 0;
    for (int y = 25; y < 119; y += 3) {
        for (int x = 834; x < 1003; x += 3) {
            const int ha = HueStep(a.At(x, y));
            const int hb = HueStep(b.At(x, y));
            if (ha < 0 && hb < 0) {
                continue;
            }
            ++compared;
            const int apart = std::abs(ha - hb);
            if (ha < 0 || hb < 0 || std::min(apart, 12 - apart) > 1) {
                ++changed;
            }
        }
    }
    return compared == 0 ? 0.0 : static_cast<double>(changed) / compared;
}

} // namespace e2e
