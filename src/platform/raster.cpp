// Rasteriser: clears, triangle and line setup. The per-pixel loops are in raster_span.cpp.
#include "platform/raster.h"

#include <algorithm>
#include <cstddef>

namespace raster {
namespace {

// The part of rect inside the target, empty (right <= left) when none.
Rect Inside(const Target& t, const Rect& r) {
    return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, t.width),
            std::min(r.bottom, t.height)};
}

} // namespace

void ClearColour(const Target& t, const Rect& rect, std::uint32_t colour) {
    Rect r = Inside(t, rect);
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint32_t* row = t.colour + static_cast<std::ptrdiff_t>(y) * t.width;
        std::fill(row + r.left, row + r.right, colour);
    }
}

void ClearDepth(const Target& t, const Rect& rect, float z) {
    if (t.depth == nullptr) return;
    Rect r = Inside(t, rect);
    float clamped = std::clamp(z, 0.0f, 1.0f);
    auto value = static_cast<std::uint16_t>(clamped * 65535.0f + 0.5f);
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint16_t* row = t.depth + static_cast<std::ptrdiff_t>(y) * t.width;
        std::fill(row + r.left, row + r.right, value);
    }
}

void Pipeline::Compile(const State& state) { state_ = state; }
SpanFn Pipeline::Span(bool, bool) const { return nullptr; }
void DrawTriangle(const Target&, const Rect&, const Pipeline&, const Vertex&, const Vertex&,
                  const Vertex&) {}
void DrawLine(const Target&, const Rect&, const Pipeline&, const Vertex&, const Vertex&) {}
void DrawPoint(const Target&, const Rect&, const Pipeline&, const Vertex&) {}

} // namespace raster
