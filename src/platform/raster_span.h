// Inside the rasteriser: one horizontal run of pixels handed from setup to a pixel loop,
// and the choice of pixel loop for a state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/raster.h"

namespace raster {

struct SpanArgs {
    std::uint32_t* colour;             // the run's first pixel
    std::uint16_t* depth;              // its depth, null when the state reads no depth
    int count;                         // pixels in the run, at least 1
    bool minified;                     // stage 0 texture is minified (min filter applies)
    const State* state;
    alignas(16) float v[kAttrCount];   // attributes at the first pixel's centre
    alignas(16) float dx[kAttrCount];  // their change from one pixel to the next
};

// How each part of the pixel work is done; the common cases get their own loops.
enum class DepthMode : std::uint8_t { Off, LessEqualWrite, Any };
enum class ShadeMode : std::uint8_t {
    Diffuse,        // the interpolated diffuse colour, untextured
    ModulatePoint,  // texture x diffuse, texture alpha (Direct3D's default stage 0)
    ModulateLinear,
    BlendPoint,     // diffuse x texAlpha + texture x (1 - texAlpha), texture alpha
    BlendLinear,
    Generic         // any stages, addressing, specular
};
enum class BlendMode : std::uint8_t { Replace, SrcAlpha, Any };

// One sloped edge walked down the rows. On each row the pixels inside the edge are
// x >= bound (a left edge) or x <= bound (a right edge). Like Bresenham's, the bound
// steps by a whole quotient per row and a remainder carries the rest, so every row's bound
// is exact without a division; the carry is taken without a branch.
// No defaults: setup writes every walker a loop reads, and defaults would cost every
// triangle, small ones too, their stores.
struct EdgeWalk {
    std::int64_t bound;  // the bound on the current row
    std::int64_t rest;   // remainder, in [0, s)
    std::int64_t s;      // |change of the edge function per pixel|
    std::int64_t step;   // whole change of the bound per row
    std::int64_t carry;  // change of the remainder per row, less s for a right edge

    // One that never binds, where a side has fewer edges: its bound stays at `at`.
    static EdgeWalk Fixed(std::int64_t at) { return {at, 0, 1, 0, 0}; }

    // Both kinds: add the step, then take one back if the remainder went negative.
    void NextRow(bool left) {
        bound += step, rest += carry;
        std::int64_t negative = rest >> 63;
        bound += left ? -negative : negative;
        rest += s & negative;
    }
};

// A triangle after setup: its rows, the edges bounding each row, its attribute planes.
struct TriangleArgs {
    const Target* target;
    const State* state;
    bool minified;
    std::int64_t y0, y1;        // rows to fill
    std::int64_t x0, x1;        // columns allowed (bounding box and clip)
    EdgeWalk left[2], right[2]; // at row y0; unused ones never bind (not set when small)
    // The same edges by the rows they bound, for loops that walk two instead of four:
    // left[0] and right[0] are the edges from the top vertex, which alone bound every row
    // above the middle vertex (a triangle is convex, so there the third edge lies outside
    // them). From row `middle` on, `lower`, the edge from the middle vertex down walked from
    // row max(y0, middle), takes the place of its side's [0]; the other runs top to bottom.
    std::int64_t middle;
    EdgeWalk lower;
    bool lowerLeft;
    // A small triangle (see kSmallColumns) gives its edges instead, for loops that test
    // whole rows of pixels at once: each edge function at pixel (x0, y0) less the fill
    // rule's bias, and its change per pixel in x and per row. Inside: all three >= 0.
    bool small;
    std::int32_t edgeAt[3], edgeX[3], edgeY[3];
    // A tiny small triangle (see kTinyColumns) may come with its rows' columns found at
    // setup: bits 16r to 16r + 15 for row y0 + r, bit 16r + k for column x0 + k, as
    // SmallRows finds them. Only where `tiny` is set; a loop may take them instead of the
    // edges.
    bool tiny = false;
    unsigned __int128 covered;
    Batch* batch;               // where a wide loop may leave pixels pending; may be null
    // Under a batch that holds (see Batch), the tags of drawing order, for the wide loops to
    // write where the triangle's pixels pass, and its order. A held triangle, drawn later
    // than its order, passes a tie of depths only over a pixel of an earlier tag.
    std::uint16_t* tags = nullptr;
    std::uint16_t order = 0;
    bool held = false;
    float fx0, fy0;             // where the planes' base values hold
    alignas(16) float base[kAttrCount];
    alignas(16) float gx[kAttrCount];
    alignas(16) float gy[kAttrCount];
};

// Pixels of one line, each at fraction f of the way from its start: attributes
// from + delta x f, in the basic slots.
struct LineArgs {
    static constexpr int kBatch = 256;
    const Target* target;
    const State* state;
    int count;                          // pixels in this batch
    alignas(32) float from[kBasicAttrs];
    alignas(32) float delta[kBasicAttrs];
    float f[kBatch];
    std::ptrdiff_t at[kBatch];          // offsets in the target
};

// A triangle is small when its bounding box (within the clip) is at most this many columns
// wide and its vertices lie within kSmallExtent pixels of each other both ways: its edge
// functions over those columns then fit in 32 bits.
constexpr int kSmallColumns = 16;
constexpr int kSmallExtent = 64;
// A small triangle is tiny when its box is at most this many columns and rows: each row's
// columns then fill 16 bits, and its pixels at most two groups of eight.
constexpr int kTinyColumns = 16;
constexpr int kTinyRows = 8;

struct Loops {
    SpanFn span;
    TriangleFn triangle;
};
Loops PickLoops(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective);

// The triangle loop that shades eight pixels at a time (raster_wide.cpp) for these modes;
// null where there is none or the processor cannot run it.
TriangleFn WideTriangle(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective);
LineFn WideLine(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective);

// Whether the textured loops shade sixteen pixels at a time (AVX-512) rather than eight,
// where the processor can; the pixels are the same either way. On by default where it can
// be; returns whether it is on now.
bool ShadeSixteen(bool wanted);
// Whether the held triangles' pixel bound takes sixteen columns to a register (AVX-512)
// rather than eight, likewise; the triangles shown hidden are the same either way.
bool HeldSixteen(bool wanted);

// A batch's store of held triangles (raster.cpp): null where the setup cannot hold.
Batch::Held* MakeHeld();
void DropHeld(Batch::Held* held);
// Whether any pixel of a held triangle, set up with its edges, depth plane, target, tags
// and order, would pass its depth test (raster_wide.cpp; only where there are wide loops).
// `margin` is (n + 8) 2^-22 Q + 2^-100, n the box's columns and Q the size of the depth
// plane over the box, |base| + |gx| max|x - fx0| + |gy| max|y - fy0|, as the limits find it.
bool HeldPixels(TriangleArgs& t, float margin);
// Whether no pixel of a held triangle of 16 to 31 columns can pass, shown by the bound of
// its depth plane where its edges, set up as a small triangle's over those columns (they
// fit 32 bits within kSmallExtent), cover it; false where that cannot be shown.
bool HeldHiddenWide(TriangleArgs& t, float margin);

// The triangle loop that shades rows straight into the target (raster_flat.cpp), for
// states without depth or texture; null where there is none or the processor cannot run
// it. It draws at once, after what a batch holds.
TriangleFn DirectTriangle(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective);

// A line of one colour under a state that has a direct triangle loop: its pixels are those
// of DrawLine, the minor coordinate rounded at each major-axis pixel centre m as
// minor0 + (m - major0) x slope, clamped to the clip's minor range widened by 4.
struct FlatLineArgs {
    const Target* target;
    alignas(16) float colour[4]; // b, g, r, a, not yet rounded
    bool xMajor;
    double major0, minor0, slope;
    std::int64_t first, last;    // the major-axis pixels, within the clip
    int minorLo, minorHi;        // the clip's minor range
};
using FlatLineFn = void (*)(const FlatLineArgs&);
// The line loop that goes with a pipeline's triangle loop; null unless that is a direct one.
// Offsets in the target must fit in 32 bits.
FlatLineFn DirectLine(TriangleFn triangle);

} // namespace raster
