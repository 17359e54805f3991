// Reading what vormika shows from a grab of the screen: its cursor, the seek tree's current
// path, the option boxes and the inset view's colours.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "desktop.h"

namespace e2e {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// The cursor is a 10x10 square in this colour, drawn last; at rest it fades to clear at its
// centre, while a button is down it is solid.
constexpr std::uint32_t kCursorColour = 0x88AA00;

bool Near(std::uint32_t pixel, std::uint32_t colour, int tolerance = 8);

// The part of a grab inside `rect`, as a grab of its own.
Shot Crop(const Shot& shot, const Rect& rect);

// The cursor's top-left corner: a place where it shows in `now` and that did not already
// look like it in `before` (the views' glow borders and the tree's nodes share its colour).
std::optional<Point> FindCursor(const Shot& now, const Shot& before);
bool CursorIsSolid(const Shot& shot, Point corner);

// The turns of the seek tree's current path, ring 0 first, read from its white nodes; -1 for a
// row with no single white node.
std::array<int, 4> WhitePath(const Shot& shot);

enum class Mark { Checked, Unchecked, Unclear };
// The option box of the option row whose top is `rowTop` (left edge x 610).
Mark OptionMark(const Shot& shot, int rowTop);

// The share of points of the inset view whose colour turned to another hue between two grabs.
double InsetHueChange(const Shot& a, const Shot& b);

} // namespace e2e
