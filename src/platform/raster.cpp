// Rasteriser: choosing pixel loops for a state, clears, and the coverage of triangles, lines
// and points (the rules are in raster.h). The per-pixel work is in raster_span.cpp.
#include "platform/raster.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/host/host.h"
#include "platform/raster_span.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define RASTER_WIDE_SETUP 1
#else
#define RASTER_WIDE_SETUP 0
#endif

namespace raster {
namespace {

constexpr int kSubBits = 8;                 // sub-pixel bits of snapped vertex positions
constexpr float kSub = 1 << kSubBits;
constexpr float kGuard = 16384.0f;          // triangles beyond +-kGuard pixels are clipped

// The part of rect inside the target, empty (right <= left) when none.
Rect Inside(const Target& t, const Rect& r) {
    return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, t.width),
            std::min(r.bottom, t.height)};
}

// floor(v + 0.5) for |v| well inside the int64 range (callers clamp first).
std::int64_t RoundHalfUp(double v) {
    double f = v + 0.5;
    auto i = static_cast<std::int64_t>(f);
    return i - static_cast<std::int64_t>(f < static_cast<double>(i));
}

// --- choosing the pixel loops ------------------------------------------------------------

// Where a stage-0 argument really reads from: an empty stage's texture is its input, and
// stage 0's input is the diffuse colour.
std::uint8_t Folded(std::uint8_t arg, bool hasTexture) {
    std::uint8_t select = arg & kArgSelectMask;
    if (select == kArgTexture && !hasTexture) select = kArgCurrent;
    if (select == kArgCurrent) select = kArgDiffuse;
    return static_cast<std::uint8_t>((arg & ~kArgSelectMask) | select);
}

bool IsBlendOp(std::uint8_t op) {
    return op == kOpBlendDiffuseAlpha || op == kOpBlendTextureAlpha ||
           op == kOpBlendFactorAlpha || op == kOpBlendCurrentAlpha;
}

enum class Part : std::uint8_t { Diffuse, Texture, Modulate, BlendTextureAlpha, Other };

// What stage 0's colour operation amounts to, for the loops that have a fast path.
Part ColourPart(const Stage& g, bool tex) {
    if (g.colourOp == kOpDisable) return Part::Diffuse;
    std::uint8_t a1 = Folded(g.colourArg1, tex), a2 = Folded(g.colourArg2, tex);
    if (((a1 | a2) & ~kArgSelectMask) != 0) return Part::Other; // modifiers
    if (g.colourOp == kOpSelect1 || g.colourOp == kOpSelect2) {
        std::uint8_t a = g.colourOp == kOpSelect1 ? a1 : a2;
        return a == kArgDiffuse ? Part::Diffuse : (a == kArgTexture ? Part::Texture : Part::Other);
    }
    if (IsBlendOp(g.colourOp) && a1 == kArgDiffuse && a2 == kArgDiffuse) return Part::Diffuse;
    if (g.colourOp == kOpModulate && ((a1 == kArgTexture && a2 == kArgDiffuse) ||
                                      (a1 == kArgDiffuse && a2 == kArgTexture)))
        return Part::Modulate;
    if (g.colourOp == kOpBlendTextureAlpha && a1 == kArgDiffuse && a2 == kArgTexture)
        return Part::BlendTextureAlpha;
    return Part::Other;
}

// The same for the alpha operation (alpha-replicate does nothing to an alpha argument).
Part AlphaPart(const Stage& g, bool tex) {
    if (g.colourOp == kOpDisable || g.alphaOp == kOpDisable) return Part::Diffuse;
    auto plain = [&](std::uint8_t arg) {
        return static_cast<std::uint8_t>(Folded(arg, tex) & ~kArgAlphaReplicate);
    };
    std::uint8_t a1 = plain(g.alphaArg1), a2 = plain(g.alphaArg2);
    if (g.alphaOp == kOpSelect1 || g.alphaOp == kOpSelect2) {
        std::uint8_t a = g.alphaOp == kOpSelect1 ? a1 : a2;
        return a == kArgDiffuse ? Part::Diffuse : (a == kArgTexture ? Part::Texture : Part::Other);
    }
    if (IsBlendOp(g.alphaOp) && a1 == kArgDiffuse && a2 == kArgDiffuse) return Part::Diffuse;
    return Part::Other;
}

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

ShadeMode ShadeFor(const State& s, Filter filter) {
    const Stage& g = s.stages[0];
    bool tex = g.texture.texels != nullptr;
    if (s.addSpecular || (kStages > 1 && g.colourOp != kOpDisable &&
                          s.stages[1].colourOp != kOpDisable))
        return ShadeMode::Generic;
    Part colour = ColourPart(g, tex), alpha = AlphaPart(g, tex);
    if (colour == Part::Diffuse && alpha == Part::Diffuse) return ShadeMode::Diffuse;
    bool fastTexture = tex && PowerOfTwo(g.texture.width) && PowerOfTwo(g.texture.height) &&
                       g.addressU == Address::Wrap && g.addressV == Address::Wrap;
    if (!fastTexture || alpha != Part::Texture) return ShadeMode::Generic;
    bool linear = filter == Filter::Linear;
    if (colour == Part::Modulate) return linear ? ShadeMode::ModulateLinear : ShadeMode::ModulatePoint;
    if (colour == Part::BlendTextureAlpha) return linear ? ShadeMode::BlendLinear : ShadeMode::BlendPoint;
    return ShadeMode::Generic;
}

DepthMode DepthFor(const State& s) {
    if (!s.depthTest || (s.depthFunc == Cmp::Always && !s.depthWrite)) return DepthMode::Off;
    if (s.depthFunc == Cmp::LessEqual && s.depthWrite) return DepthMode::LessEqualWrite;
    return DepthMode::Any;
}

BlendMode BlendFor(const State& s) {
    if (s.alphaTest) return BlendMode::Any;
    if (!s.blend || (s.srcBlend == Factor::One && s.destBlend == Factor::Zero))
        return BlendMode::Replace;
    if ((s.srcBlend == Factor::SrcAlpha && s.destBlend == Factor::InvSrcAlpha) ||
        s.srcBlend == Factor::BothSrcAlpha)
        return BlendMode::SrcAlpha;
    return BlendMode::Any;
}

// --- triangles -----------------------------------------------------------------------------

// floor(a / b) for b > 0 and |a| < 2^50: a floating estimate, within one of the answer
// at these magnitudes, made exact with integers (and without branches).
std::int64_t FloorDiv(std::int64_t a, std::int64_t b, double invB) {
    auto q = static_cast<std::int64_t>(static_cast<double>(a) * invB);
    std::int64_t r = a - q * b;
    q -= static_cast<std::int64_t>(r < 0);
    q += static_cast<std::int64_t>(r >= b);
    return q;
}

void StartLeft(EdgeWalk& e, std::int64_t row, std::int64_t perX, std::int64_t perY) {
    // Smallest x with row + s x >= 0.
    e.s = perX;
    const double inv = 1.0 / static_cast<double>(e.s);
    e.bound = -FloorDiv(row, e.s, inv);
    e.rest = row + e.s * e.bound;     // in [0, s)
    e.step = FloorDiv(-perY, e.s, inv);
    e.carry = perY + e.s * e.step;    // in (-s, 0]
}

void StartRight(EdgeWalk& e, std::int64_t row, std::int64_t perX, std::int64_t perY) {
    // Largest x with row - s x >= 0.
    e.s = -perX;
    const double inv = 1.0 / static_cast<double>(e.s);
    e.bound = FloorDiv(row, e.s, inv);
    e.rest = row - e.s * e.bound;     // in [0, s)
    e.step = FloorDiv(perY, e.s, inv) + 1;
    e.carry = perY - e.s * e.step;    // in [-s, 0): the step is taken one too far
}

// Whether the texture is drawn smaller than its texels: texels per pixel above one.
bool Minified(const Pipeline& p, const float* gx, const float* gy, float q) {
    const Texture& t = p.state().stages[0].texture;
    float texels = std::fabs(gx[kTex0] * gy[kTex0 + 1] - gy[kTex0] * gx[kTex0 + 1]) *
                   static_cast<float>(t.width) * static_cast<float>(t.height);
    return texels > q * q;
}

// The planes of N attributes over a triangle: value at v0 and change per pixel in x and y.
template <int N>
void Planes(const Vertex* const* v, float dx1, float dy1, float dx2, float dy2, float inv,
            float* __restrict base, float* __restrict gx, float* __restrict gy) {
    const float* __restrict a0 = v[0]->a;
    const float* __restrict a1 = v[1]->a;
    const float* __restrict a2 = v[2]->a;
    for (int k = 0; k < N; ++k) {
        float d1 = a1[k] - a0[k], d2 = a2[k] - a0[k];
        base[k] = a0[k];
        gx[k] = (d1 * dy2 - d2 * dy1) * inv;
        gy[k] = (d2 * dx1 - d1 * dx2) * inv;
    }
}

// A triangle snapped to 1/256 pixel, its vertices ordered so that its area is positive
// (clockwise on screen, as y grows downwards).
struct Snapped {
    const Vertex* v[3];
    std::int64_t X[3], Y[3];
    std::int64_t area; // twice the area, in 1/65536 pixel
    std::int64_t minX, maxX, minY, maxY;
};

std::int64_t Least(std::int64_t a, std::int64_t b, std::int64_t c) {
    const std::int64_t ab = a < b ? a : b;
    return ab < c ? ab : c;
}

std::int64_t Most(std::int64_t a, std::int64_t b, std::int64_t c) {
    const std::int64_t ab = a > b ? a : b;
    return ab > c ? ab : c;
}

#if defined(__SSE2__)
// RoundHalfUp(p x kSub) for a vertex's x and y at once; positions within the guard band
// make values that 32 bits hold.
void SnapPoint(const Vertex& v, std::int64_t& x, std::int64_t& y) {
    const __m128d f = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(
                                                 reinterpret_cast<const __m128i*>(&v.x)))),
                                            _mm_set1_pd(kSub)),
                                 _mm_set1_pd(0.5));
    const __m128i truncated = _mm_cvttpd_epi32(f);
    // Truncation rounds up below zero; take one back where it did.
    const __m128i above = _mm_castpd_si128(_mm_cmplt_pd(f, _mm_cvtepi32_pd(truncated)));
    const __m128i floor = _mm_add_epi32(truncated, _mm_shuffle_epi32(above, 0x08));
    x = _mm_cvtsi128_si32(floor);
    y = _mm_cvtsi128_si32(_mm_shuffle_epi32(floor, 0x01));
}
#endif

// False when the triangle has no area or its winding is culled.
bool Snap(const Vertex* v0, const Vertex* v1, const Vertex* v2, Cull cull, Snapped& t) {
    const Vertex* v[3] = {v0, v1, v2};
    for (int i = 0; i < 3; ++i) {
        t.v[i] = v[i];
#if defined(__SSE2__)
        SnapPoint(*v[i], t.X[i], t.Y[i]);
#else
        t.X[i] = RoundHalfUp(static_cast<double>(v[i]->x) * kSub);
        t.Y[i] = RoundHalfUp(static_cast<double>(v[i]->y) * kSub);
#endif
    }
    t.area = (t.X[1] - t.X[0]) * (t.Y[2] - t.Y[0]) - (t.X[2] - t.X[0]) * (t.Y[1] - t.Y[0]);
    if (t.area == 0) return false;
    if ((cull == Cull::Clockwise && t.area > 0) || (cull == Cull::CounterClockwise && t.area < 0))
        return false;
    if (t.area < 0) {
        std::swap(t.X[1], t.X[2]);
        std::swap(t.Y[1], t.Y[2]);
        std::swap(t.v[1], t.v[2]);
        t.area = -t.area;
    }
    t.minX = Least(t.X[0], t.X[1], t.X[2]);
    t.maxX = Most(t.X[0], t.X[1], t.X[2]);
    t.minY = Least(t.Y[0], t.Y[1], t.Y[2]);
    t.maxY = Most(t.Y[0], t.Y[1], t.Y[2]);
    return true;
}

// The rows and columns to visit and the edges that bound each row. False when no pixel
// centre can be inside.
//
// Edge a->b: E(p) = (ya - yb)(px - xa) + (xb - xa)(py - ya), positive inside. A pixel
// centre on the edge counts only for a top edge (horizontal, going right) or a left edge
// (going up): that is the -1 bias on the others. Each sloped edge bounds the row's pixels
// from the left or the right; a horizontal edge bounds the rows instead. Missing bounds
// are walkers that never bind.
//
// The bounding box is set first; false when it holds no pixel centre.
bool SetupBox(const Snapped& t, const Rect& clip, TriangleArgs& a) {
    a.x0 = std::max<std::int64_t>((t.minX + 255) >> kSubBits, clip.left);
    a.x1 = std::min<std::int64_t>(t.maxX >> kSubBits, clip.right - 1);
    a.y0 = std::max<std::int64_t>((t.minY + 255) >> kSubBits, clip.top);
    a.y1 = std::min<std::int64_t>(t.maxY >> kSubBits, clip.bottom - 1);
    return a.x0 <= a.x1 && a.y0 <= a.y1;
}

// Whether the edges of a triangle with this box may be given as small-triangle edges.
bool IsSmall(const Snapped& t, const TriangleArgs& a) {
    constexpr std::int64_t kExtent = static_cast<std::int64_t>(kSmallExtent) << kSubBits;
    return a.x1 - a.x0 < kSmallColumns && t.maxX - t.minX <= kExtent && t.maxY - t.minY <= kExtent;
}

// The same edge functions as SetupEdges, given whole for a small triangle: at pixel
// (x0, y0) and per step, the loops test all the box's columns of a row at once.
void SetupSmallEdges(const Snapped& t, TriangleArgs& a) {
    a.small = true;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        std::int64_t A = t.Y[i] - t.Y[j], B = t.X[j] - t.X[i];
        bool topLeft = A > 0 || (A == 0 && B > 0);
        std::int64_t at = A * ((a.x0 << kSubBits) - t.X[i]) + B * ((a.y0 << kSubBits) - t.Y[i]) -
                          (topLeft ? 0 : 1);
        a.edgeAt[i] = static_cast<std::int32_t>(at);
        a.edgeX[i] = static_cast<std::int32_t>(A << kSubBits);
        a.edgeY[i] = static_cast<std::int32_t>(B << kSubBits);
    }
}

// A triangle's edges by the rows they bound, for vertex rows y0 y1 y2 (edge i runs from
// vertex i to vertex i + 1): the middle vertex by y (of two level ones, either), the edge
// from the top vertex to the bottom one, and those from the top vertex to the middle one
// and from the middle one down. The last two lie on the same side, unless level.
struct EdgeOrder {
    int middle, along, upper, lower;
};

inline EdgeOrder OrderEdges(std::int64_t y0, std::int64_t y1, std::int64_t y2) {
    const int m = y0 <= y1 ? (y1 <= y2 ? 1 : (y0 <= y2 ? 2 : 0)) : (y0 <= y2 ? 0 : (y1 <= y2 ? 2 : 1));
    const int j = m == 2 ? 0 : m + 1, k = j == 2 ? 0 : j + 1;
    const std::int64_t yj = m == 0 ? y1 : (m == 1 ? y2 : y0), yk = m == 0 ? y2 : (m == 1 ? y0 : y1);
    // Edge m runs from the middle vertex to vertex j, edge k from vertex k to it.
    return yj < yk ? EdgeOrder{m, j, m, k} : EdgeOrder{m, j, k, m};
}

bool SetupEdges(const Snapped& t, TriangleArgs& a) {
    const std::int64_t* X = t.X;
    const std::int64_t* Y = t.Y;
    a.small = false;
    a.left[0] = a.left[1] = a.lower = EdgeWalk::Fixed(a.x0);
    a.right[0] = a.right[1] = EdgeWalk::Fixed(a.x1);
    // The edge top to bottom and the upper one first, so that both take their side's [0].
    const EdgeOrder order = OrderEdges(Y[0], Y[1], Y[2]);
    const int edges[3] = {order.along, order.upper, order.lower};
    int lefts = 0, rights = 0;
    std::int64_t skip = 0; // rows a horizontal edge cuts from the top
    for (int i : edges) {
        int j = (i + 1) % 3;
        std::int64_t A = Y[i] - Y[j], B = X[j] - X[i];
        bool topLeft = A > 0 || (A == 0 && B > 0);
        std::int64_t row = -A * X[i] + B * ((a.y0 << kSubBits) - Y[i]) - (topLeft ? 0 : 1);
        std::int64_t perX = A << kSubBits, perY = B << kSubBits;
        if (perX > 0) {
            StartLeft(a.left[lefts++], row, perX, perY);
        } else if (perX < 0) {
            StartRight(a.right[rights++], row, perX, perY);
        } else if (perY > 0) {
            // Inside from the first row k (from y0) with row + perY k >= 0.
            skip = std::max<std::int64_t>(0, -FloorDiv(row, perY, 1.0 / static_cast<double>(perY)));
        } else {
            // Inside up to the last row k with row - |perY| k >= 0.
            a.y1 = std::min(a.y1, a.y0 + FloorDiv(row, -perY, -1.0 / static_cast<double>(perY)));
        }
    }
    for (std::int64_t k = 0; k < skip && a.y0 <= a.y1; ++k, ++a.y0) {
        for (EdgeWalk& w : a.left) w.NextRow(true);
        for (EdgeWalk& w : a.right) w.NextRow(false);
    }
    // The lower edge again, from the first row below the top vertex's edges that it bounds.
    a.middle = (Y[order.middle] + 255) >> kSubBits;
    const int i = order.lower, j = (i + 1) % 3;
    const std::int64_t A = Y[i] - Y[j], B = X[j] - X[i];
    a.lowerLeft = A > 0;
    if (A != 0) {
        const std::int64_t from = std::max(a.y0, a.middle);
        const std::int64_t row = -A * X[i] + B * ((from << kSubBits) - Y[i]) - (A > 0 ? 0 : 1);
        if (A > 0) StartLeft(a.lower, row, A << kSubBits, B << kSubBits);
        else StartRight(a.lower, row, A << kSubBits, B << kSubBits);
    }
    return a.y0 <= a.y1;
}

// Attribute planes over the snapped positions, as value + gx (x - fx0) + gy (y - fy0).
// Returns whether the pixels must divide by q: not when all three vertices share one q,
// which is then divided out of the planes here.
bool SetupPlanes(const Snapped& t, int n, TriangleArgs& a) {
    a.fx0 = static_cast<float>(t.X[0]) / kSub;
    a.fy0 = static_cast<float>(t.Y[0]) / kSub;
    const float dx1 = static_cast<float>(t.X[1] - t.X[0]) / kSub;
    const float dy1 = static_cast<float>(t.Y[1] - t.Y[0]) / kSub;
    const float dx2 = static_cast<float>(t.X[2] - t.X[0]) / kSub;
    const float dy2 = static_cast<float>(t.Y[2] - t.Y[0]) / kSub;
    const float inv = static_cast<float>(static_cast<double>(kSub) * kSub / static_cast<double>(t.area));
    if (n == kBasicAttrs) {
        Planes<kBasicAttrs>(t.v, dx1, dy1, dx2, dy2, inv, a.base, a.gx, a.gy);
        std::fill(a.base + n, a.base + kAttrCount, 0.0f);
        std::fill(a.gx + n, a.gx + kAttrCount, 0.0f);
        std::fill(a.gy + n, a.gy + kAttrCount, 0.0f);
    } else {
        Planes<kAttrCount>(t.v, dx1, dy1, dx2, dy2, inv, a.base, a.gx, a.gy);
    }
    const float q = t.v[0]->a[kQ];
    if (q == t.v[1]->a[kQ] && q == t.v[2]->a[kQ] && q > 0.0f) {
        const float w = 1.0f / q;
        for (int k = kDiffuse; k < n; ++k) a.base[k] *= w, a.gx[k] *= w, a.gy[k] *= w;
        return false;
    }
    return true;
}

// Fills one triangle whose vertices all lie within the guard band.
void FillTriangle(const Target& target, const Rect& clip, const Pipeline& p, const Vertex* v0,
                  const Vertex* v1, const Vertex* v2, Batch* batch) {
    Snapped t;
    if (!Snap(v0, v1, v2, p.state().cull, t)) return;
    TriangleArgs a;
    if (!SetupBox(t, clip, a)) return;
    if (p.SmallEdges() && IsSmall(t, a)) {
        SetupSmallEdges(t, a);
    } else if (!SetupEdges(t, a)) {
        return;
    }
    const bool perspective = SetupPlanes(t, p.Attributes(), a);
    a.minified = p.ChoosesFilter() && Minified(p, a.gx, a.gy, perspective ? t.v[0]->a[kQ] : 1.0f);
    a.target = &target;
    a.state = &p.state();
    a.batch = batch;
    // A loop that cannot add to the batch draws at once: what is pending goes first.
    if (batch != nullptr && !p.Wide(a.minified, perspective)) batch->Flush();
    p.Triangle(a.minified, perspective)(a);
}

} // namespace

// Triangles a batch holds back, and the tags of drawing order of the target they go to.
// Plain pointers: the AVX2 code below takes no library templates.
struct Batch::Held {
    static constexpr int kCapacity = 4096;
    // Every held triangle goes to `tagged`: a change of target draws what is held first.
    // A held triangle is kept as set up when it was held: what the hidden test reads, in one
    // cache line, and apart from it what only a triangle that is drawn reads.
    struct alignas(64) Triangle {
        std::int32_t box[4];         // y0 y1 x0 x1 within the clip, holding a pixel
        std::int32_t x[3], y[3];     // snapped positions in clockwise order
        float z[3];                  // the vertices' depths in that order
        std::uint16_t order;
        std::int64_t area;           // twice the area, in 1/65536 pixel: above 0
    };
    // Nearly every held triangle is dropped unshaded, so this is written past the caches
    // (see Keep): two whole lines, which streamed stores fill without reading them first.
    struct alignas(64) Shading {
        float a[3][kBasicAttrs];     // the basic attributes in clockwise order
        const Pipeline* pipeline;
        std::uint64_t unused[3];     // the rest of the second line
    };
    Triangle* list = nullptr;        // kCapacity of each
    Shading* shading = nullptr;
    int n = 0;
    // A tag for each pixel of `tagged`, and eight more for groups read past its end: the
    // drawing order of the held pipelines' triangle that wrote the pixel's depth last, or
    // any order below it. Every tag is below `next`.
    std::uint16_t* tags = nullptr;
    Target tagged{};
    std::uint16_t next = 1;
};

namespace {

// The held triangles drawn after the target changes, or before their tags start again.
bool Retarget(Batch& batch, const Target& target);
void RestartTags(Batch& batch);

using FillFn = void (*)(const Target&, const Rect&, const Pipeline&, const Vertex*, const Vertex*,
                        const Vertex*, Batch*);
void DrawAnyTriangle(const Target& t, const Rect& clip, const Pipeline& p, const Vertex& v0,
                     const Vertex& v1, const Vertex& v2, Batch* batch, FillFn fill);

#if RASTER_WIDE_SETUP
// FillTriangle with the three vertices side by side in vector lanes and the attribute
// planes one register per eight slots, for processors with AVX2; chosen in DrawTriangle.
// Every value comes out as FillTriangle's: snapping is done in double as there, the edges
// of a small triangle fit 32 bits (see kSmallExtent), and each plane lane does the scalar
// arithmetic in the same order (no fused multiply-add). Large triangles take SetupEdges.
// No library templates here, whose shared copies could come out compiled for AVX2.
#pragma GCC push_options
#pragma GCC target("avx2")

// The planes of eight attributes from `at` on of the vertices' attributes v, as Planes,
// with q divided out of the colour and texture slots (from kDiffuse on) when `scale`.
template <int At>
inline __attribute__((always_inline)) void Planes8(const float* const* v, __m256 dx1, __m256 dy1,
                                                   __m256 dx2, __m256 dy2, __m256 inv, bool scale,
                                                   __m256 w, TriangleArgs& a) {
    constexpr int at = At;
    const __m256 a0 = _mm256_loadu_ps(v[0] + at);
    const __m256 d1 = _mm256_sub_ps(_mm256_loadu_ps(v[1] + at), a0);
    const __m256 d2 = _mm256_sub_ps(_mm256_loadu_ps(v[2] + at), a0);
    __m256 gx = _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(d1, dy2), _mm256_mul_ps(d2, dy1)), inv);
    __m256 gy = _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(d2, dx1), _mm256_mul_ps(d1, dx2)), inv);
    __m256 base = a0;
    if (scale) {
        // kZ and kQ keep their bits: only the first group holds them.
        constexpr int keep = at == 0 ? 0x03 : 0x00;
        base = _mm256_blend_ps(_mm256_mul_ps(base, w), base, keep);
        gx = _mm256_blend_ps(_mm256_mul_ps(gx, w), gx, keep);
        gy = _mm256_blend_ps(_mm256_mul_ps(gy, w), gy, keep);
    }
    _mm256_storeu_ps(a.base + at, base);
    _mm256_storeu_ps(a.gx + at, gx);
    _mm256_storeu_ps(a.gy + at, gy);
}

// Positions x0 y0 x1 y1 and x2 y2 . . of three vertices.
inline __attribute__((always_inline)) void Positions(const Vertex* v0, const Vertex* v1,
                                                     const Vertex* v2, __m128& xy01, __m128& xy2) {
    auto xy = [](const Vertex* u) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&u->x)); };
    xy01 = _mm_castsi128_ps(_mm_unpacklo_epi64(xy(v0), xy(v1)));
    xy2 = _mm_castsi128_ps(xy(v2));
}

// The scissor within the target, as Inside, as {left, top, right, bottom}: false when it
// holds no pixel, and there is nothing to draw.
inline __attribute__((always_inline)) bool ClipWithin(const Target& target, const Rect& scissor,
                                                      __m128i& clip) {
    static_assert(sizeof(Rect) == 16 && offsetof(Target, height) == offsetof(Target, width) + 4);
    const __m128i size = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&target.width));
    clip = _mm_min_epi32(_mm_max_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&scissor)),
                                       _mm_setr_epi32(0, 0, INT32_MIN, INT32_MIN)),
                         _mm_unpacklo_epi64(_mm_set1_epi32(INT32_MAX), size));
    const __m128i holds = _mm_cmpgt_epi32(_mm_shuffle_epi32(clip, _MM_SHUFFLE(1, 0, 3, 2)), clip);
    return (_mm_movemask_ps(_mm_castsi128_ps(holds)) & 0x3) == 0x3;
}

// The bounds a box is clamped to, in its order y0 y1 x0 x1, for a clip {left, top, right,
// bottom} that holds a pixel: at least top, left; at most bottom - 1, right - 1.
inline __attribute__((always_inline)) void ClipBounds(__m128i clip, __m128i& low, __m128i& high) {
    low = _mm_blend_epi32(_mm_shuffle_epi32(clip, _MM_SHUFFLE(0, 0, 1, 1)), _mm_set1_epi32(INT32_MIN), 0x0A);
    high = _mm_blend_epi32(_mm_set1_epi32(INT32_MAX),
                           _mm_sub_epi32(_mm_shuffle_epi32(clip, _MM_SHUFFLE(2, 2, 3, 3)), _mm_set1_epi32(1)),
                           0x0A);
}

// floor(a / s) and the remainder a - s floor(a / s) in [0, s), for whole a and s > 0 with
// |a| < 2^52: the quotient is within one, and the correction is exact in double.
inline __attribute__((always_inline)) void FloorDivWide(__m256d a, __m256d s, __m256d& q, __m256d& r) {
    q = _mm256_floor_pd(_mm256_div_pd(a, s));
    r = _mm256_sub_pd(a, _mm256_mul_pd(q, s));
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d under = _mm256_cmp_pd(r, _mm256_setzero_pd(), _CMP_LT_OQ);
    q = _mm256_sub_pd(q, _mm256_and_pd(under, one));
    r = _mm256_add_pd(r, _mm256_and_pd(under, s));
    const __m256d over = _mm256_cmp_pd(r, s, _CMP_GE_OQ);
    q = _mm256_add_pd(q, _mm256_and_pd(over, one));
    r = _mm256_sub_pd(r, _mm256_and_pd(over, s));
}

// A whole double below 2^51 in magnitude as int64, by its bits.
inline __attribute__((always_inline)) __m256i WholeToInt64(__m256d v) {
    const __m256d magic = _mm256_set1_pd(6755399441055744.0); // 1.5 x 2^52
    return _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(v, magic)), _mm256_castpd_si256(magic));
}

// The parts OrderEdges gives, and the sides, from the signs of the edges' change in y
// alone (bit i of `up`: edge i runs up, a left edge; of `down`: down, a right one). A
// lone edge of one sign runs top to bottom, the other two meet at the middle vertex; a
// level edge's end is taken as the middle vertex, so that the level edge is the upper one
// at the top (the edge after it runs down) or the lower one at the bottom.
struct EdgeRoles {
    std::uint8_t middle, along, upper, lower;
    bool alongLeft, upperSloped, lowerSloped;
};

constexpr EdgeRoles RolesFor(int up, int down) {
    for (int h = 0; h < 3; ++h) {
        if (((up | down) >> h & 1) != 0) continue;
        const int m = (h + 1) % 3, along = (h + 2) % 3;
        const bool top = (down >> m & 1) != 0;
        const int upper = top ? h : m, lower = top ? m : h;
        return {static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(along), static_cast<std::uint8_t>(upper),
                static_cast<std::uint8_t>(lower), (up >> along & 1) != 0, upper != h, lower != h};
    }
    const int lone = (up == 1 || up == 2 || up == 4) ? up : down;
    const int along = lone == 1 ? 0 : (lone == 2 ? 1 : 2);
    const int m = (along + 2) % 3, k = (along + 1) % 3;
    // Edge m runs from the middle vertex, edge k to it: down on the right, up on the left.
    const bool right = (down >> m & 1) != 0;
    return {static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(along), static_cast<std::uint8_t>(right ? k : m),
            static_cast<std::uint8_t>(right ? m : k), (up >> along & 1) != 0, true, true};
}

struct EdgeRolesTable {
    EdgeRoles at[64]; // by up | down << 3
    constexpr EdgeRolesTable() : at() {
        for (int i = 0; i < 64; ++i) at[i] = RolesFor(i & 7, i >> 3);
    }
};
constexpr EdgeRolesTable kEdgeRoles;

// SetupEdges for the snapped positions x, y (X and Y of Snapped, in 32 bits): the three
// edges' walkers, and the lower edge's again from the middle vertex's row, worked out side
// by side in double, where every value of SetupEdges is a whole number of at most 2^48 and
// so exact; horizontal edges as there, first, so that every walker starts at the first row.
bool SetupEdgesWide(const std::int32_t* x, const std::int32_t* y, TriangleArgs& a) {
    a.small = false;
    // Lane i: edge i -> i + 1 (lane 3 is not read).
    const __m128i X3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
    const __m128i Y3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i A3 = _mm_sub_epi32(Y3, _mm_shuffle_epi32(Y3, _MM_SHUFFLE(3, 0, 2, 1)));
    const __m128i B3 = _mm_sub_epi32(_mm_shuffle_epi32(X3, _MM_SHUFFLE(3, 0, 2, 1)), X3);
    const __m128i zero = _mm_setzero_si128();
    const int up = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(A3, zero))) & 7;
    const int down = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(zero, A3))) & 7;
    if (__builtin_expect((up | down) != 7, 0)) {
        // A horizontal edge, as SetupEdges: it cuts rows.
        std::int64_t skip = 0; // rows it cuts from the top
        for (int i = 0; i < 3; ++i) {
            const int j = i == 2 ? 0 : i + 1;
            if (y[i] != y[j]) continue;
            const std::int64_t B64 = x[j] - x[i];
            const std::int64_t rowI = B64 * ((a.y0 << kSubBits) - y[i]) - (B64 > 0 ? 0 : 1);
            const std::int64_t perYI = B64 << kSubBits;
            if (perYI > 0) {
                const std::int64_t k = -FloorDiv(rowI, perYI, 1.0 / static_cast<double>(perYI));
                skip = k > 0 ? k : 0;
            } else {
                const std::int64_t last = a.y0 + FloorDiv(rowI, -perYI, -1.0 / static_cast<double>(perYI));
                a.y1 = last < a.y1 ? last : a.y1;
            }
        }
        a.y0 += skip;
        if (a.y0 > a.y1) return false;
    }
    const EdgeRoles roles = kEdgeRoles.at[up | down << 3];
    a.middle = (y[roles.middle] + 255) >> kSubBits;
    const std::int64_t from = a.middle > a.y0 ? a.middle : a.y0;
    // Lane 3: the lower edge again, from row `from` instead of y0.
    const __m128i pick = _mm_insert_epi32(_mm_setr_epi32(0, 1, 2, 0), roles.lower, 3);
    auto lanes = [&](__m128i v) { return _mm_castps_si128(_mm_permutevar_ps(_mm_castsi128_ps(v), pick)); };
    const __m128i X = lanes(X3), Y = lanes(Y3), A = lanes(A3), B = lanes(B3);
    const __m128i topLeft = _mm_or_si128(_mm_cmpgt_epi32(A, zero),
                                         _mm_and_si128(_mm_cmpeq_epi32(A, zero), _mm_cmpgt_epi32(B, zero)));
    const __m256d Ad = _mm256_cvtepi32_pd(A), Bd = _mm256_cvtepi32_pd(B);
    const __m256d top = _mm256_cvtepi32_pd(_mm_insert_epi32(_mm_set1_epi32(static_cast<std::int32_t>(a.y0 << kSubBits)),
                                                            static_cast<std::int32_t>(from << kSubBits), 3));
    const __m256d bias = _mm256_cvtepi32_pd(_mm_add_epi32(topLeft, _mm_set1_epi32(1))); // 0 or 1
    const __m256d row = _mm256_sub_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_setzero_pd(), Ad), _mm256_cvtepi32_pd(X)),
                      _mm256_mul_pd(Bd, _mm256_sub_pd(top, _mm256_cvtepi32_pd(Y)))),
        bias);
    const __m256d sub = _mm256_set1_pd(kSub);
    const __m256d perX = _mm256_mul_pd(Ad, sub), perY = _mm256_mul_pd(Bd, sub);
    // s = |perX|; left edges (perX > 0) step by floor(-perY / s), right ones by
    // floor(perY / s) + 1. Horizontal lanes divide by zero and are not read.
    const __m256d s = _mm256_andnot_pd(_mm256_set1_pd(-0.0), perX);
    const __m256d left = _mm256_cmp_pd(perX, _mm256_setzero_pd(), _CMP_GT_OQ);
    const __m256d num = _mm256_blendv_pd(perY, _mm256_sub_pd(_mm256_setzero_pd(), perY), left);
    __m256d f1, r1, f2, r2;
    FloorDivWide(row, s, f1, r1);
    FloorDivWide(num, s, f2, r2);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d bound = _mm256_blendv_pd(f1, _mm256_sub_pd(_mm256_setzero_pd(), f1), left);
    const __m256d step = _mm256_blendv_pd(_mm256_add_pd(f2, one), f2, left);
    const __m256d carry = _mm256_blendv_pd(_mm256_sub_pd(r2, s), _mm256_sub_pd(_mm256_setzero_pd(), r2), left);
    alignas(32) std::int64_t walk[5][4]; // bound, rest, s, step, carry by lane
    _mm256_store_si256(reinterpret_cast<__m256i*>(walk[0]), WholeToInt64(bound));
    _mm256_store_si256(reinterpret_cast<__m256i*>(walk[1]), WholeToInt64(r1));
    _mm256_store_si256(reinterpret_cast<__m256i*>(walk[2]), WholeToInt64(s));
    _mm256_store_si256(reinterpret_cast<__m256i*>(walk[3]), WholeToInt64(step));
    _mm256_store_si256(reinterpret_cast<__m256i*>(walk[4]), WholeToInt64(carry));
    auto put = [&](EdgeWalk& e, int lane) {
        e.bound = walk[0][lane], e.rest = walk[1][lane], e.s = walk[2][lane], e.step = walk[3][lane],
        e.carry = walk[4][lane];
    };
    // The edge top to bottom and the upper one take their sides' [0], the lower one the
    // other [1]: the upper and lower ones lie on the side the first does not.
    EdgeWalk* const along = roles.alongLeft ? a.left : a.right;
    EdgeWalk* const other = roles.alongLeft ? a.right : a.left;
    const std::int64_t alongAt = roles.alongLeft ? a.x0 : a.x1, otherAt = roles.alongLeft ? a.x1 : a.x0;
    put(along[0], roles.along);
    along[1] = EdgeWalk::Fixed(alongAt);
    if (__builtin_expect(roles.upperSloped && roles.lowerSloped, 1)) {
        put(other[0], roles.upper);
        put(other[1], roles.lower);
        put(a.lower, 3);
    } else {
        // A level edge leaves its side one walker, and the lower one no rows if it is level.
        if (roles.upperSloped) put(other[0], roles.upper);
        else other[0] = EdgeWalk::Fixed(otherAt);
        if (roles.lowerSloped) put(other[1], roles.lower), put(a.lower, 3);
        else other[1] = a.lower = EdgeWalk::Fixed(otherAt);
    }
    a.lowerLeft = !roles.alongLeft;
    return true;
}

// A depth test that a triangle can fail everywhere: for LESSEQUAL, each of its depths must
// lie above the stored one (tie 1), for LESS at or above it (tie 0). Off for any other test,
// and for targets narrower than one read of sixteen depths.
struct HiddenTest {
    bool on;
    int tie;
};

inline __attribute__((always_inline)) HiddenTest HiddenTestFor(const Target& target, const State& s) {
    const bool less = s.depthFunc == Cmp::Less, lessEqual = s.depthFunc == Cmp::LessEqual;
    return {s.depthTest && target.depth != nullptr && target.width >= 16 && (less || lessEqual),
            lessEqual ? 1 : 0};
}

// Whether no pixel of the triangle's box can pass the depth test, so that drawing it would
// change nothing. The pixel loops compute a depth as base + gx ox + gy oy at a row's first
// pixel and step by gx along the row, in float: at most 4 + (x1 - x0) roundings (with ox's
// own), each off by at most 2^-24 of the largest magnitude met, which is at most the size
// |base| + |gx| max|ox| + |gy| max|oy| over the box. The least value of the plane over the
// box, at one of its corners, worked out here in float with a few roundings more, less
// (12 + x1 - x0) 2^-23 of the size, lies below every depth the loops can make; rounded as
// they round it, it is compared with the largest stored depth in the box. Planes of
// non-finite or enormous size, which might make NaN (depth 0), never hide.
//
// HiddenInBox is that test (HiddenLimit, then BoxAtMost), for the box y0 y1 x0 x1 (also in
// `box`, as TriangleArgs has it) and the depth plane base + gx (x - fx0) + gy (y - fy0);
// Hidden first tries ShownAtCorner, which needs no plane.
struct DepthPlane {
    float fx0, fy0, base, gx, gy;
};

// The limit: no pixel of the box passes where the stored depth is at most this; below 0
// when the plane cannot hide anything.
inline __attribute__((always_inline)) int HiddenLimit(std::int64_t x0, std::int64_t x1, __m128i box,
                                                      const DepthPlane& plane, HiddenTest test) {
    // Lanes in the box's order: y0 y1 x0 x1.
    const __m128 offset = _mm_sub_ps(_mm_cvtepi32_ps(box), _mm_setr_ps(plane.fy0, plane.fy0, plane.fx0, plane.fx0));
    const __m128 change = _mm_setr_ps(plane.gy, plane.gy, plane.gx, plane.gx);
    const __m128 part = _mm_mul_ps(offset, change);
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), part);
    const __m128 least = _mm_min_ps(part, _mm_shuffle_ps(part, part, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128 most = _mm_max_ps(magnitude, _mm_shuffle_ps(magnitude, magnitude, _MM_SHUFFLE(2, 3, 0, 1)));
    // least y, least x, most |y|, most |x|; then the least value and the size in lanes 0, 1.
    const __m128 both = _mm_shuffle_ps(least, most, _MM_SHUFFLE(2, 0, 2, 0));
    const float base = plane.base;
    const __m128 sums = _mm_add_ps(_mm_add_ps(_mm_setr_ps(base, base < 0 ? -base : base, 0, 0),
                                              _mm_shuffle_ps(both, both, _MM_SHUFFLE(3, 3, 3, 1))),
                                   _mm_shuffle_ps(both, both, _MM_SHUFFLE(2, 2, 2, 0)));
    const float size = _mm_cvtss_f32(_mm_shuffle_ps(sums, sums, _MM_SHUFFLE(1, 1, 1, 1)));
    if (!(size < 0x1p100f)) return -1;
    const float columns = static_cast<float>(x1 - x0);
    const float z = _mm_cvtss_f32(sums) - (12.0f + columns) * 0x1p-23f * size;
    if (!(z > 0.0f)) return -1;
    // Depth16's rounding, which never makes more of a lesser value.
    const int depth = static_cast<int>((z < 1.0f ? z : 1.0f) * 65535.0f + 0.5f);
    return depth - test.tie;
}

// Whether every stored depth in the box is at most `limit` (0 or more).
inline __attribute__((always_inline)) bool BoxAtMost(const Target& target, std::int64_t y0, std::int64_t y1,
                                                     std::int64_t x0, std::int64_t x1, int limit) {
    const int width = target.width;
    const std::uint16_t* row = target.depth + y0 * width;
    const __m256i over = _mm256_set1_epi16(static_cast<short>(limit));
    if (x1 - x0 < 15) {
        // One read of sixteen a row, kept within the row, and masked to the box's columns.
        const std::int64_t from = x0 + 16 <= width ? x0 : width - 16;
        const __m256i column = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const __m256i mask = _mm256_andnot_si256(
            _mm256_cmpgt_epi16(_mm256_set1_epi16(static_cast<short>(x0 - from)), column),
            _mm256_cmpgt_epi16(_mm256_set1_epi16(static_cast<short>(x1 - from + 1)), column));
        row += from;
        __m256i stored = _mm256_setzero_si256();
        for (std::int64_t y = y0; y <= y1; ++y, row += width)
            stored = _mm256_max_epu16(stored, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)));
        return _mm256_testz_si256(_mm256_subs_epu16(stored, over), mask) != 0;
    }
    // Sixteen columns at a time, the last sixteen ending at x1; a row that holds a depth
    // above the limit ends the search.
    for (std::int64_t y = y0; y <= y1; ++y, row += width) {
        __m256i stored = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x1 - 15));
        for (std::int64_t x = x0; x < x1 - 15; x += 16)
            stored = _mm256_max_epu16(stored, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x)));
        const __m256i above = _mm256_subs_epu16(stored, over);
        if (_mm256_testz_si256(above, above) == 0) return false;
    }
    return true;
}

inline __attribute__((always_inline)) bool HiddenInBox(const Target& target, std::int64_t y0, std::int64_t y1,
                                                       std::int64_t x0, std::int64_t x1, __m128i box,
                                                       const DepthPlane& plane, HiddenTest test) {
    const int limit = HiddenLimit(x0, x1, box, plane, test);
    return limit >= 0 && BoxAtMost(target, y0, y1, x0, x1, limit);
}

// Most drawn triangles are not hidden, and one stored depth at the box's first pixel that
// is not below the least of the vertices' depths shows it cheaply. It only saves the work
// of HiddenInBox: what it passes on is decided there.
inline __attribute__((always_inline)) bool ShownAtCorner(const Target& target, std::int64_t y0,
                                                         std::int64_t x0, float z0, float z1, float z2) {
    const float nearest = z0 < z1 ? (z0 < z2 ? z0 : z2) : (z1 < z2 ? z1 : z2);
    return static_cast<float>(target.depth[y0 * target.width + x0]) >= nearest * 65535.0f;
}

inline __attribute__((always_inline)) bool Hidden(const Target& target, const TriangleArgs& a, __m128i box,
                                                  const float* const* v, HiddenTest test) {
    return !ShownAtCorner(target, a.y0, a.x0, v[0][kZ], v[1][kZ], v[2][kZ]) &&
           HiddenInBox(target, a.y0, a.y1, a.x0, a.x1, box, {a.fx0, a.fy0, a.base[kZ], a.gx[kZ], a.gy[kZ]}, test);
}

void SettleHeld(Batch& batch);

// The batch's store of held triangles when this pipeline's triangles into this target go
// through it; null when they are drawn at once (and then what is held goes first).
inline __attribute__((always_inline)) Batch::Held* HoldFor(Batch* batch, const Target& target,
                                                           const Pipeline& p) {
    Batch::Held* const h = batch != nullptr ? batch->held() : nullptr;
    if (h == nullptr) return nullptr;
    if (!p.Holds() || target.depth == nullptr) {
        if (h->n > 0) SettleHeld(*batch);
        return nullptr;
    }
    if (h->tagged.colour != target.colour || h->tagged.depth != target.depth ||
        h->tagged.width != target.width || h->tagged.height != target.height)
        return Retarget(*batch, target) ? h : nullptr;
    return h;
}

// A triangle kept for SettleHeld as set up so far: its box, snapped positions (X, Y as
// FillWide has them) and area, and the vertices' basic attributes v, which are all a
// holding pipeline reads; v in clockwise order.
inline __attribute__((always_inline)) void Keep(Batch::Held& h, __m128i box, __m128i X, __m128i Y,
                                                std::int64_t area, const Pipeline& p, std::uint16_t order,
                                                const float* const* v) {
    using Triangle = Batch::Held::Triangle;
    static_assert(sizeof(Triangle) == 64 && offsetof(Triangle, y) == offsetof(Triangle, x) + 12 &&
                  offsetof(Triangle, z) == offsetof(Triangle, y) + 12 && kBasicAttrs == 8);
    Triangle& k = h.list[h.n];
    Batch::Held::Shading& s = h.shading[h.n];
    ++h.n;
    _mm_store_si128(reinterpret_cast<__m128i*>(k.box), box);
    // Four lanes each, in order: x's fourth lands on y's first and y's on the first depth.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(k.x), X);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(k.y), Y);
    k.z[0] = v[0][kZ];
    k.z[1] = v[1][kZ];
    k.z[2] = v[2][kZ];
    k.order = order;
    k.area = area;
    static_assert(sizeof(Batch::Held::Shading) == 128 && offsetof(Batch::Held::Shading, pipeline) == 96);
    // Streamed: read again only for the few held triangles that are drawn.
    for (int i = 0; i < 3; ++i) _mm256_stream_ps(s.a[i], _mm256_loadu_ps(v[i]));
    _mm256_stream_si256(reinterpret_cast<__m256i*>(&s.pipeline),
                        _mm256_setr_epi64x(reinterpret_cast<std::intptr_t>(&p), 0, 0, 0));
}

// The extents of snapped positions X = x0 x1 x2 x, Y = y0 y1 y2 y (lane 3 one of the
// vertices again) in the order of TriangleArgs' box: minY maxY minX maxX.
inline __attribute__((always_inline)) __m128i Extents(__m128i X, __m128i Y) {
    const __m128i lo = _mm_unpacklo_epi64(X, Y), hi = _mm_unpackhi_epi64(X, Y); // X0 X1 Y0 Y1, X2 X3 Y2 Y3
    __m128i mins = _mm_min_epi32(lo, hi), maxs = _mm_max_epi32(lo, hi);
    mins = _mm_min_epi32(mins, _mm_shuffle_epi32(mins, _MM_SHUFFLE(2, 3, 0, 1)));  // minX minX minY minY
    maxs = _mm_max_epi32(maxs, _mm_shuffle_epi32(maxs, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_blend_epi32(_mm_shuffle_epi32(mins, _MM_SHUFFLE(0, 0, 2, 2)),
                           _mm_shuffle_epi32(maxs, _MM_SHUFFLE(0, 0, 2, 2)), 0x0A);
}

// Where a triangle's planes hold, the steps to its other two vertices in pixels and the
// scale of the planes' cross products, as SetupPlanes works them out.
struct PlaneFrame {
    float fx0, fy0, dx1, dy1, dx2, dy2, inv;
};

inline __attribute__((always_inline)) PlaneFrame FrameOf(const std::int32_t* x, const std::int32_t* y,
                                                         std::int64_t area) {
    return {static_cast<float>(x[0]) / kSub,
            static_cast<float>(y[0]) / kSub,
            static_cast<float>(x[1] - x[0]) / kSub,
            static_cast<float>(y[1] - y[0]) / kSub,
            static_cast<float>(x[2] - x[0]) / kSub,
            static_cast<float>(y[2] - y[0]) / kSub,
            static_cast<float>(static_cast<double>(kSub) * kSub / static_cast<double>(area))};
}

// The planes of the vertices' attributes v (clockwise), as SetupPlanes; returns whether the
// pixels must divide by q.
inline __attribute__((always_inline)) bool PlanesWide(const Pipeline& p, const float* const* v,
                                                      const PlaneFrame& f, TriangleArgs& a) {
    a.fx0 = f.fx0;
    a.fy0 = f.fy0;
    const __m256 dx1 = _mm256_set1_ps(f.dx1), dy1 = _mm256_set1_ps(f.dy1);
    const __m256 dx2 = _mm256_set1_ps(f.dx2), dy2 = _mm256_set1_ps(f.dy2);
    const __m256 inv = _mm256_set1_ps(f.inv);
    const float q = v[0][kQ];
    const bool perspective = !(q == v[1][kQ] && q == v[2][kQ] && q > 0.0f);
    const __m256 w = _mm256_set1_ps(perspective ? 1.0f : 1.0f / q);
    Planes8<0>(v, dx1, dy1, dx2, dy2, inv, !perspective, w, a);
    if (p.Attributes() == kBasicAttrs) {
        const __m256 zero = _mm256_setzero_ps();
        _mm256_storeu_ps(a.base + 8, zero);
        _mm256_storeu_ps(a.gx + 8, zero);
        _mm256_storeu_ps(a.gy + 8, zero);
    } else {
        Planes8<8>(v, dx1, dy1, dx2, dy2, inv, !perspective, w, a);
    }
    return perspective;
}

// The edges of a triangle with its box set up, from its snapped positions X, Y and x, y in
// clockwise order; false when no row holds a pixel. smallEdges as the pipeline's SmallEdges.
// Small-triangle edges are also left in `held` where it is given (edgeAt, edgeX, edgeY in
// its lanes), for a caller that reads them at once, from registers rather than back from
// the stores. `known`, where not -1, is whether the triangle is small, as a strip's group
// has already found it (1 or 0), so that its extents need not be given.
inline __attribute__((always_inline)) bool EdgesWide(bool smallEdges, TriangleArgs& a, __m128i X, __m128i Y,
                                                     __m128i box, __m128i extents, const std::int32_t* x,
                                                     const std::int32_t* y, __m128i* held = nullptr,
                                                     int known = -1) {
    const std::int32_t minY = _mm_cvtsi128_si32(extents), maxY = _mm_extract_epi32(extents, 1);
    const std::int32_t minX = _mm_extract_epi32(extents, 2), maxX = _mm_extract_epi32(extents, 3);
    constexpr std::int32_t kExtent = kSmallExtent << kSubBits;
    const std::int32_t boxY0 = _mm_cvtsi128_si32(box), boxX0 = _mm_extract_epi32(box, 2);
    if (smallEdges && (known >= 0 ? known != 0
                                  : _mm_extract_epi32(box, 3) - boxX0 < kSmallColumns && maxX - minX <= kExtent &&
                                        maxY - minY <= kExtent)) {
        // Edge i runs from vertex i to vertex i + 1: A = Y[i] - Y[j], B = X[j] - X[i].
        const __m128i Xn = _mm_shuffle_epi32(X, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128i Yn = _mm_shuffle_epi32(Y, _MM_SHUFFLE(3, 0, 2, 1));
        const __m128i A = _mm_sub_epi32(Y, Yn), B = _mm_sub_epi32(Xn, X);
        const __m128i zero = _mm_setzero_si128();
        const __m128i topLeft = _mm_or_si128(_mm_cmpgt_epi32(A, zero),
                                             _mm_and_si128(_mm_cmpeq_epi32(A, zero), _mm_cmpgt_epi32(B, zero)));
        const __m128i ox = _mm_sub_epi32(_mm_set1_epi32(boxX0 << kSubBits), X);
        const __m128i oy = _mm_sub_epi32(_mm_set1_epi32(boxY0 << kSubBits), Y);
        const __m128i at = _mm_add_epi32(_mm_add_epi32(_mm_mullo_epi32(A, ox), _mm_mullo_epi32(B, oy)),
                                         _mm_xor_si128(topLeft, _mm_set1_epi32(-1)));
        // Whole stores in order, each one's fourth lane landing on the next one's first; the
        // last one's, 0, on `tiny` and the padding after it.
        static_assert(offsetof(TriangleArgs, edgeX) == offsetof(TriangleArgs, edgeAt) + 12 &&
                      offsetof(TriangleArgs, edgeY) == offsetof(TriangleArgs, edgeX) + 12 &&
                      offsetof(TriangleArgs, tiny) == offsetof(TriangleArgs, edgeY) + 12 &&
                      offsetof(TriangleArgs, covered) >= offsetof(TriangleArgs, edgeY) + 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a.edgeAt), at);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a.edgeX), _mm_slli_epi32(A, kSubBits));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a.edgeY),
                         _mm_blend_epi32(_mm_slli_epi32(B, kSubBits), zero, 0x8));
        if (held != nullptr) {
            held[0] = at;
            held[1] = _mm_slli_epi32(A, kSubBits);
            held[2] = _mm_slli_epi32(B, kSubBits);
        }
        a.small = true;
    } else {
        if (!SetupEdgesWide(x, y, a)) return false;
    }
    return true;
}

// Lane i of v in every lane.
template <int i>
inline __attribute__((always_inline)) __m256i Lane(__m128i v) {
    return _mm256_broadcastd_epi32(_mm_shuffle_epi32(v, i * 0x55));
}

// The columns each row of a tiny triangle covers, as TriangleArgs::covered holds them,
// from its small-triangle edges (as EdgesWide leaves them): SmallRows' sums for one
// register of eight columns, or two where the box is wider (Two).
template <bool Two>
inline __attribute__((always_inline)) unsigned __int128 TinyCovered(const TriangleArgs& a, const __m128i* edges) {
    const __m256i k = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i at[3] = {Lane<0>(edges[0]), Lane<1>(edges[0]), Lane<2>(edges[0])};
    const __m256i perX[3] = {Lane<0>(edges[1]), Lane<1>(edges[1]), Lane<2>(edges[1])};
    const __m256i perY[3] = {Lane<0>(edges[2]), Lane<1>(edges[2]), Lane<2>(edges[2])};
    __m256i e[3], f[3], perRow[3];
    for (int i = 0; i < 3; ++i) {
        e[i] = _mm256_add_epi32(at[i], _mm256_mullo_epi32(perX[i], k));
        f[i] = _mm256_add_epi32(e[i], _mm256_slli_epi32(perX[i], 3));
        perRow[i] = perY[i];
    }
    const std::uint64_t columns = (2u << (a.x1 - a.x0)) - 1;
    static_assert(kTinyRows <= 8, "a tiny box's rows fill at most the two halves");
    const int rows = static_cast<int>(a.y1 - a.y0) + 1;
    // The next row's columns, its edges stepped on.
    auto next = [&]() __attribute__((always_inline)) {
        const __m256i any = _mm256_or_si256(_mm256_or_si256(e[0], e[1]), e[2]);
        auto outside = static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(any)));
        if constexpr (Two) {
            const __m256i more = _mm256_or_si256(_mm256_or_si256(f[0], f[1]), f[2]);
            outside |= static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(more))) << 8;
            for (int i = 0; i < 3; ++i) f[i] = _mm256_add_epi32(f[i], perRow[i]);
        }
        for (int i = 0; i < 3; ++i) e[i] = _mm256_add_epi32(e[i], perRow[i]);
        return ~outside & columns;
    };
    // Rows 0 to 3 in the low half, 4 to 7 in the high one. Heights change from one triangle
    // to the next, so a loop over the rows would end at a branch the processor guesses
    // wrong: all four rows of a half are found and those below the box cut off.
    std::uint64_t low = next();
    low |= next() << 16;
    low |= next() << 32;
    low |= next() << 48;
    low &= ~std::uint64_t{0} >> (16 * (4 - (rows < 4 ? rows : 4)));
    std::uint64_t high = 0;
    if (rows > 4) {
        high = next();
        high |= next() << 16;
        high |= next() << 32;
        high |= next() << 48;
        high &= ~std::uint64_t{0} >> (16 * (8 - rows));
    }
    return (static_cast<unsigned __int128>(high) << 64) | low;
}

// A triangle set up in full drawn by its pipeline's loop; q is its first vertex's.
inline __attribute__((always_inline)) void DrawSetUp(const Target& target, const Pipeline& p, Batch* batch,
                                                     TriangleArgs& a, bool perspective, float q) {
    a.minified = p.ChoosesFilter() && Minified(p, a.gx, a.gy, perspective ? q : 1.0f);
    a.target = &target;
    a.state = &p.state();
    a.batch = batch;
    if (batch != nullptr && !p.Wide(a.minified, perspective)) batch->Flush();
    p.Triangle(a.minified, perspective)(a);
}

// Snap: RoundHalfUp(p x kSub) in double, for two positions x y x y at once.
inline __attribute__((always_inline)) __m128i SnapTwo(__m128 f) {
    const __m256d d = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(f), _mm256_set1_pd(kSub)), _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(_mm256_floor_pd(d));
}

// What a strip's group of eight finds for its triangles lane by lane: the frames of their
// planes (PlaneFrame's fields, a row of eight lanes each), and bit k set for triangle k where
// its edges may be given as small ones (as EdgesWide decides) and where its box is tiny
// under a pipeline of small edges (as FillBoxed decides).
struct StripGroup {
    alignas(32) float frames[7][8];
    unsigned small, tiny;
};

// The rest of FillBoxed from the clockwise order on: snapped positions X, Y (lanes 0 to 2;
// lane 3 is not read) and attributes v in that order, twice the area (above 0) and whether
// the triangle was counter-clockwise on the screen (`flip`). `hide` by reference: taken by
// value, the strip loop moved a copy of it between stack slots for every triangle.
inline __attribute__((always_inline)) void FillClockwise(const Target& target, const Pipeline& p,
                                                         const float* const* v, Batch* batch, __m128i X,
                                                         __m128i Y, __m128i box, std::int64_t area, bool flip,
                                                         const HiddenTest& hide, Batch::Held* hold,
                                                         const StripGroup* g = nullptr, int lane = 0) {
    alignas(16) std::int32_t x[4], y[4];
    // Under a holding batch every triangle takes the next order; those that face away are
    // kept as set up so far, the others drawn now and tagged.
    std::uint16_t order = 0;
    if (hold != nullptr) {
        if (__builtin_expect(hold->next == 0xFFFF, 0)) RestartTags(*batch);
        order = hold->next++;
        if (flip) {
            if (__builtin_expect(hold->n == Batch::Held::kCapacity, 0)) SettleHeld(*batch);
            Keep(*hold, box, X, Y, area, p, order, v);
            return;
        }
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(x), X);
    _mm_store_si128(reinterpret_cast<__m128i*>(y), Y);
    // A group's triangle needs no extents: the group found what they tell.
    const __m128i extents = g == nullptr ? Extents(X, Y) : _mm_setzero_si128();
    const int small = g == nullptr ? -1 : static_cast<int>((g->small >> lane) & 1u);

    TriangleArgs a;
    a.tags = hold != nullptr ? hold->tags : nullptr;
    a.order = order;
    static_assert(offsetof(TriangleArgs, y1) == offsetof(TriangleArgs, y0) + 8 &&
                  offsetof(TriangleArgs, x0) == offsetof(TriangleArgs, y0) + 16 &&
                  offsetof(TriangleArgs, x1) == offsetof(TriangleArgs, y0) + 24);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(&a.y0), _mm256_cvtepi32_epi64(box));
    // A tiny triangle's rows are found first: most that cover no pixel centre are tiny,
    // and they need no planes. Larger ones may still prove hidden before their edges.
    const bool tinyBox = g == nullptr ? p.SmallEdges() && a.x1 - a.x0 < kTinyColumns && a.y1 - a.y0 < kTinyRows
                                      : ((g->tiny >> lane) & 1u) != 0;
    if (tinyBox) {
        __m128i edges[3] = {};
        if (!EdgesWide(true, a, X, Y, box, extents, x, y, edges, small)) return;
        if (a.small) {
            a.covered = a.x1 - a.x0 < 8 ? TinyCovered<false>(a, edges) : TinyCovered<true>(a, edges);
            if (a.covered == 0) return;
            a.tiny = true;
        }
    }
    const PlaneFrame frame = g != nullptr ? PlaneFrame{g->frames[0][lane], g->frames[1][lane], g->frames[2][lane],
                                                       g->frames[3][lane], g->frames[4][lane], g->frames[5][lane],
                                                       g->frames[6][lane]}
                                          : FrameOf(x, y, area);
    const bool perspective = PlanesWide(p, v, frame, a);
    // Under a holding batch the faces turned away wait for the others, so what is drawn
    // now is nearly always shown (about 2% of the rings' front faces prove hidden): the
    // test would cost more than the pixels it saves.
    if (hide.on && hold == nullptr && Hidden(target, a, box, v, hide)) return;
    if (!tinyBox && !EdgesWide(p.SmallEdges(), a, X, Y, box, extents, x, y, nullptr, small)) return;
    DrawSetUp(target, p, batch, a, perspective, v[0][kQ]);
}

// FillSnapped once its box (within the clip, holding a pixel) and twice its signed area
// (not 0, and not culled) are known: the rest of the setup, from the clockwise order on.
inline __attribute__((always_inline)) void FillBoxed(const Target& target, const Pipeline& p, const Vertex* v0,
                                                     const Vertex* v1, const Vertex* v2, Batch* batch,
                                                     __m128i X, __m128i Y, __m128i box, std::int64_t area,
                                                     HiddenTest hide, Batch::Held* hold) {
    // Clockwise order without a branch: with culling off either order is as likely.
    const bool flip = area < 0;
    const __m128i swap = _mm_set1_epi32(-static_cast<std::int32_t>(flip));
    X = _mm_blendv_epi8(X, _mm_shuffle_epi32(X, _MM_SHUFFLE(0, 1, 2, 0)), swap);
    Y = _mm_blendv_epi8(Y, _mm_shuffle_epi32(Y, _MM_SHUFFLE(0, 1, 2, 0)), swap);
    const float* v[3] = {v0->a, flip ? v2->a : v1->a, flip ? v1->a : v2->a};
    FillClockwise(target, p, v, batch, X, Y, box, flip ? -area : area, flip, hide, hold);
}

// FillWide from the snapped positions X = x0 x1 x2 x1, Y = y0 y1 y2 y1.
inline __attribute__((always_inline)) void FillSnapped(const Target& target, __m128i low, __m128i high,
                                                       const Pipeline& p, const Vertex* v0,
                                                       const Vertex* v1, const Vertex* v2, Batch* batch,
                                                       __m128i X, __m128i Y, HiddenTest hide,
                                                       Batch::Held* hold) {
    // The extents and the box first: the vertices' order does not change them, and a
    // triangle between pixel centres needs no more.
    const __m128i extents = Extents(X, Y);
    // As SetupBox, in TriangleArgs' order: y0 y1 x0 x1.
    __m128i box = _mm_srai_epi32(_mm_add_epi32(extents, _mm_setr_epi32(255, 0, 255, 0)), kSubBits);
    box = _mm_min_epi32(_mm_max_epi32(box, low), high);
    const __m128i beyond = _mm_cmpgt_epi32(box, _mm_shuffle_epi32(box, _MM_SHUFFLE(2, 3, 0, 1)));
    if ((_mm_movemask_ps(_mm_castsi128_ps(beyond)) & 0x5) != 0) return;
    alignas(16) std::int32_t x[4], y[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(x), X);
    _mm_store_si128(reinterpret_cast<__m128i*>(y), Y);
    const std::int64_t area = static_cast<std::int64_t>(x[1] - x[0]) * (y[2] - y[0]) -
                              static_cast<std::int64_t>(x[2] - x[0]) * (y[1] - y[0]);
    if (area == 0) return;
    const Cull cull = p.state().cull;
    if ((cull == Cull::Clockwise && area > 0) || (cull == Cull::CounterClockwise && area < 0)) return;
    FillBoxed(target, p, v0, v1, v2, batch, X, Y, box, area, hide, hold);
}

inline __attribute__((always_inline)) void FillWide(const Target& target, __m128i low, __m128i high,
                                                    const Pipeline& p, const Vertex* v0,
                                                    const Vertex* v1, const Vertex* v2, Batch* batch,
                                                    __m128 xy01, __m128 xy2, HiddenTest hide,
                                                    Batch::Held* hold) {
    const __m128i s01 = SnapTwo(xy01), s2 = SnapTwo(xy2); // x0 y0 x1 y1, x2 y2 . .
    // X = x0 x1 x2 x1, Y = y0 y1 y2 y1: lane 3 repeats a vertex, so extents may take it in.
    const __m128i xs01 = _mm_shuffle_epi32(s01, _MM_SHUFFLE(2, 0, 2, 0)); // x0 x1 x0 x1
    const __m128i ys01 = _mm_shuffle_epi32(s01, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128i X = _mm_blend_epi32(xs01, _mm_shuffle_epi32(s2, _MM_SHUFFLE(0, 0, 0, 0)), 0x04);
    const __m128i Y = _mm_blend_epi32(ys01, _mm_shuffle_epi32(s2, _MM_SHUFFLE(1, 1, 1, 1)), 0x04);
    FillSnapped(target, low, high, p, v0, v1, v2, batch, X, Y, hide, hold);
}

void FillTriangleWide(const Target& target, const Rect& clip, const Pipeline& p, const Vertex* v0,
                      const Vertex* v1, const Vertex* v2, Batch* batch) {
    __m128 xy01, xy2;
    Positions(v0, v1, v2, xy01, xy2);
    __m128i low, high;
    ClipBounds(_mm_setr_epi32(clip.left, clip.top, clip.right, clip.bottom), low, high);
    FillWide(target, low, high, p, v0, v1, v2, batch, xy01, xy2, HiddenTestFor(target, p.state()),
             HoldFor(batch, target, p));
}

// One triangle within a clip that holds a pixel (low and high its ClipBounds): set up here
// when shaded and within the guard band, as DrawAnyTriangle would, else through it.
inline __attribute__((always_inline)) void DrawWithin(const Target& target, __m128i clip, __m128i low,
                                                      __m128i high, const Pipeline& p, const Vertex* v0,
                                                      const Vertex* v1, const Vertex* v2, Batch* batch,
                                                      HiddenTest hide, Batch::Held* hold) {
    __m128 xy01, xy2;
    Positions(v0, v1, v2, xy01, xy2);
    // |position| <= kGuard, false for NaN as InGuardBand is.
    const __m128 magnitude = _mm_set1_ps(-0.0f), guard = _mm_set1_ps(kGuard);
    const int inside = _mm_movemask_ps(_mm_cmp_ps(_mm_andnot_ps(magnitude, xy01), guard, _CMP_LE_OQ)) |
                       (_mm_movemask_ps(_mm_cmp_ps(_mm_andnot_ps(magnitude, xy2), guard, _CMP_LE_OQ)) << 4);
    if ((inside & 0x3F) != 0x3F || p.state().flat) {
        alignas(16) Rect r;
        _mm_store_si128(reinterpret_cast<__m128i*>(&r), clip);
        DrawAnyTriangle(target, r, p, *v0, *v1, *v2, batch, &FillTriangleWide);
        return;
    }
    FillWide(target, low, high, p, v0, v1, v2, batch, xy01, xy2, hide, hold);
}

// DrawTriangle's common case, a shaded triangle within the guard band, with no call more
// than it takes; the rest goes to DrawAnyTriangle.
void DrawTriangleWide(const Target& target, const Rect& scissor, const Pipeline& p, const Vertex* v0,
                      const Vertex* v1, const Vertex* v2, Batch* batch) {
    __m128i clip;
    if (!ClipWithin(target, scissor, clip)) return;
    __m128i low, high;
    ClipBounds(clip, low, high);
    DrawWithin(target, clip, low, high, p, v0, v1, v2, batch, HiddenTestFor(target, p.state()),
               HoldFor(batch, target, p));
}

// The guard-band test and snapped positions of a strip's vertices from `at` on, kept
// apart so that each triangle reads its three: x and y, and bit i of the returned mask set
// where vertex i is within the guard band (|x|, |y| <= kGuard, false for NaN as
// InGuardBand is). Snapped values of vertices beyond it are never read.
inline __attribute__((always_inline)) std::uint64_t SnapRun(const char* at, std::size_t stride, int n,
                                                            std::int32_t* x, std::int32_t* y) {
    const __m128 magnitude = _mm_set1_ps(-0.0f), guard = _mm_set1_ps(kGuard);
    auto xy = [&](int i) __attribute__((always_inline)) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + static_cast<std::size_t>(i) * stride));
    };
    auto within = [&](__m128 f) __attribute__((always_inline)) {
        return static_cast<unsigned>(_mm_movemask_ps(_mm_cmp_ps(_mm_andnot_ps(magnitude, f), guard, _CMP_LE_OQ)));
    };
    std::uint64_t inside = 0;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 f01 = _mm_castsi128_ps(_mm_unpacklo_epi64(xy(i), xy(i + 1)));
        const __m128 f23 = _mm_castsi128_ps(_mm_unpacklo_epi64(xy(i + 2), xy(i + 3)));
        const __m128 s01 = _mm_castsi128_ps(SnapTwo(f01)), s23 = _mm_castsi128_ps(SnapTwo(f23));
        _mm_storeu_ps(reinterpret_cast<float*>(x + i), _mm_shuffle_ps(s01, s23, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(reinterpret_cast<float*>(y + i), _mm_shuffle_ps(s01, s23, _MM_SHUFFLE(3, 1, 3, 1)));
        // A vertex is within when both its coordinates are: bits 0 2 4 6 of the pairs' ANDs.
        const unsigned both = within(f01) | (within(f23) << 4);
        const unsigned pairs = both & (both >> 1) & 0x55u;
        const unsigned four = (pairs & 1u) | ((pairs >> 1) & 2u) | ((pairs >> 2) & 4u) | ((pairs >> 3) & 8u);
        inside |= static_cast<std::uint64_t>(four) << i;
    }
    for (; i < n; ++i) {
        const __m128 f = _mm_castsi128_ps(xy(i));
        const __m128i s = SnapTwo(f);
        x[i] = _mm_cvtsi128_si32(s);
        y[i] = _mm_extract_epi32(s, 1);
        inside |= static_cast<std::uint64_t>((within(f) & 3u) == 3u) << i;
    }
    return inside;
}

// Lane i of a, b, c and d as rows[i], for the eight lanes: a group's values of each
// triangle side by side.
inline __attribute__((always_inline)) void StoreRows(__m256i a, __m256i b, __m256i c, __m256i d,
                                                     std::int32_t (*rows)[4]) {
    const __m256i t0 = _mm256_unpacklo_epi32(a, b), t1 = _mm256_unpackhi_epi32(a, b);
    const __m256i t2 = _mm256_unpacklo_epi32(c, d), t3 = _mm256_unpackhi_epi32(c, d);
    const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2); // 0 | 4, 1 | 5
    const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3); // 2 | 6, 3 | 7
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[0]), _mm256_permute2x128_si256(u0, u1, 0x20));
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[2]), _mm256_permute2x128_si256(u2, u3, 0x20));
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[4]), _mm256_permute2x128_si256(u0, u1, 0x31));
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[6]), _mm256_permute2x128_si256(u2, u3, 0x31));
}

// DrawStrip with the clip worked out once and every triangle set up in one loop; each
// vertex is snapped and tested against the guard band once, for every triangle it is in.
void DrawStripWide(const Target& target, const Rect& scissor, const Pipeline& p, const Vertex* first,
                   std::size_t stride, int triangles, bool odd, Batch* batch) {
    __m128i clip;
    if (!ClipWithin(target, scissor, clip)) return;
    __m128i low, high;
    ClipBounds(clip, low, high);
    const HiddenTest hide = HiddenTestFor(target, p.state());
    Batch::Held* const hold = HoldFor(batch, target, p);
    const char* at = reinterpret_cast<const char*>(first);
    if (p.state().flat) {
        // Flat shading copies colours, which DrawAnyTriangle does for every triangle.
        alignas(16) Rect r;
        _mm_store_si128(reinterpret_cast<__m128i*>(&r), clip);
        for (int i = 0; i < triangles; ++i, at += stride) {
            const Vertex* v0 = reinterpret_cast<const Vertex*>(at);
            const Vertex* v1 = reinterpret_cast<const Vertex*>(at + stride);
            const Vertex* v2 = reinterpret_cast<const Vertex*>(at + 2 * stride);
            if (((i + (odd ? 1 : 0)) & 1) != 0) std::swap(v0, v1);
            DrawAnyTriangle(target, r, p, *v0, *v1, *v2, batch, &FillTriangleWide);
        }
        return;
    }
    // Runs of up to kRun triangles, whose kRun + 2 vertices the mask's bits hold. The
    // eight triangles of a group read ten vertices, and a triangle's four lanes one past
    // its last: what lies past the run's vertices lands only in lanes never used.
    constexpr int kRun = 62;
    alignas(32) std::int32_t x[kRun + 16], y[kRun + 16];
    // The boxes, the snapped positions in clockwise order (x0 x1 x2 x1, y0 y1 y2 y1) and
    // twice the areas (above 0) of a group of eight, which of them were counter-clockwise,
    // and which have pixels, are not level and are not culled.
    alignas(32) std::int32_t boxes[8][4], xs[8][4], ys[8][4];
    alignas(32) std::int64_t areas[8];
    unsigned flips = 0;
    // And what else the group finds of them.
    StripGroup found;
    float (*const frames)[8] = found.frames;
    const bool smallEdges = p.SmallEdges();
    // Lanes whose triangles have their first two vertices swapped.
    const __m256i swapLanes = odd ? _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0)
                                  : _mm256_setr_epi32(0, -1, 0, -1, 0, -1, 0, -1);
    const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const Cull cull = p.state().cull;
    const __m256i top = _mm256_broadcastd_epi32(low), bottom = _mm256_broadcastd_epi32(_mm_srli_si128(high, 4));
    const __m256i left = _mm256_broadcastd_epi32(_mm_srli_si128(low, 8));
    const __m256i right = _mm256_broadcastd_epi32(_mm_srli_si128(high, 12));
    // The triangles whose first two vertices swap (see DrawStrip) have their areas negated.
    const __m256d swaps = odd ? _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0) : _mm256_setr_pd(0.0, -0.0, 0.0, -0.0);
    auto group = [&](int c) __attribute__((always_inline)) {
        auto load = [&](const std::int32_t* v) __attribute__((always_inline)) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v));
        };
        const __m256i X0 = load(x + c), X1 = load(x + c + 1), X2 = load(x + c + 2);
        const __m256i Y0 = load(y + c), Y1 = load(y + c + 1), Y2 = load(y + c + 2);
        // As FillSnapped's box, lane by lane.
        const __m256i edge = _mm256_set1_epi32(255);
        const __m256i minY = _mm256_min_epi32(_mm256_min_epi32(Y0, Y1), Y2);
        const __m256i maxY = _mm256_max_epi32(_mm256_max_epi32(Y0, Y1), Y2);
        const __m256i minX = _mm256_min_epi32(_mm256_min_epi32(X0, X1), X2);
        const __m256i maxX = _mm256_max_epi32(_mm256_max_epi32(X0, X1), X2);
        const __m256i y0 = _mm256_max_epi32(_mm256_srai_epi32(_mm256_add_epi32(minY, edge), kSubBits), top);
        const __m256i y1 = _mm256_min_epi32(_mm256_srai_epi32(maxY, kSubBits), bottom);
        const __m256i x0 = _mm256_max_epi32(_mm256_srai_epi32(_mm256_add_epi32(minX, edge), kSubBits), left);
        const __m256i x1 = _mm256_min_epi32(_mm256_srai_epi32(maxX, kSubBits), right);
        flips = 0;
        unsigned skip = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(
            _mm256_or_si256(_mm256_cmpgt_epi32(y0, y1), _mm256_cmpgt_epi32(x0, x1)))));
        // The areas in double, where every product and the difference are exact (within the
        // guard band the differences are below 2^24); other lanes are never read.
        const __m256i dx1 = _mm256_sub_epi32(X1, X0), dy1 = _mm256_sub_epi32(Y1, Y0);
        const __m256i dx2 = _mm256_sub_epi32(X2, X0), dy2 = _mm256_sub_epi32(Y2, Y0);
        for (int h = 0; h < 2; ++h) {
            auto half = [&](__m256i v) __attribute__((always_inline)) {
                return _mm256_cvtepi32_pd(h == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1));
            };
            const __m256d area = _mm256_xor_pd(
                _mm256_sub_pd(_mm256_mul_pd(half(dx1), half(dy2)), _mm256_mul_pd(half(dx2), half(dy1))), swaps);
            const __m256d size = _mm256_andnot_pd(_mm256_set1_pd(-0.0), area);
            _mm256_store_si256(reinterpret_cast<__m256i*>(areas + 4 * h), WholeToInt64(size));
            const __m256d zero = _mm256_setzero_pd();
            unsigned out = static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(area, zero, _CMP_EQ_OQ)));
            if (cull == Cull::Clockwise)
                out |= static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(area, zero, _CMP_GT_OQ)));
            else if (cull == Cull::CounterClockwise)
                out |= static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(area, zero, _CMP_LT_OQ)));
            skip |= out << (4 * h);
            flips |= static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(area, zero, _CMP_LT_OQ))) << (4 * h);
            // As FrameOf: 2^16 / |area| in double, then rounded to float.
            const __m256d scale = _mm256_set1_pd(static_cast<double>(kSub) * kSub);
            _mm_store_ps(frames[6] + 4 * h, _mm256_cvtpd_ps(_mm256_div_pd(scale, size)));
        }
        // FrameOf lane by lane, from each triangle's vertices in clockwise order: its own
        // first one, then the other two swapped where its area is negative.
        const __m256i flip = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(flips)), laneBits),
                                                laneBits);
        // The positions too, as rows first next last next, one a triangle (as the boxes).
        auto clockwise = [&](__m256i P0, __m256i P1, __m256i P2, float* f0, float* d1, float* d2,
                             std::int32_t (*rows)[4]) __attribute__((always_inline)) {
            const __m256i first = _mm256_blendv_epi8(P0, P1, swapLanes), second = _mm256_blendv_epi8(P1, P0, swapLanes);
            const __m256i next = _mm256_blendv_epi8(second, P2, flip), last = _mm256_blendv_epi8(P2, second, flip);
            const __m256 scale = _mm256_set1_ps(1.0f / kSub);
            _mm256_store_ps(f0, _mm256_mul_ps(_mm256_cvtepi32_ps(first), scale));
            _mm256_store_ps(d1, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(next, first)), scale));
            _mm256_store_ps(d2, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(last, first)), scale));
            StoreRows(first, next, last, next, rows);
        };
        clockwise(X0, X1, X2, frames[0], frames[2], frames[4], xs);
        clockwise(Y0, Y1, Y2, frames[1], frames[3], frames[5], ys);
        // Which are small (their box's width, their vertices' extents) and which tiny.
        const __m256i columns = _mm256_sub_epi32(x1, x0);
        const __m256i extent = _mm256_set1_epi32(kSmallExtent << kSubBits);
        const __m256i notSmall = _mm256_or_si256(
            _mm256_cmpgt_epi32(columns, _mm256_set1_epi32(kSmallColumns - 1)),
            _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_sub_epi32(maxX, minX), extent),
                            _mm256_cmpgt_epi32(_mm256_sub_epi32(maxY, minY), extent)));
        const __m256i notTiny = _mm256_or_si256(_mm256_cmpgt_epi32(columns, _mm256_set1_epi32(kTinyColumns - 1)),
                                                _mm256_cmpgt_epi32(_mm256_sub_epi32(y1, y0),
                                                                   _mm256_set1_epi32(kTinyRows - 1)));
        found.small = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(notSmall))) & 0xFFu;
        found.tiny = smallEdges ? ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(notTiny))) & 0xFFu : 0u;
        // The boxes in TriangleArgs' order y0 y1 x0 x1, one row of four a triangle.
        StoreRows(y0, y1, x0, x1, boxes);
        return ~skip & 0xFFu;
    };
    // Each group's triangles one at a time from one place, whichever their parity: the
    // setup is inlined once, and the triangles with nothing to draw are passed over whole.
    // kRun and a group are even, so every run and group starts with the strip's own parity.
    for (int done = 0; done < triangles; done += kRun, at += kRun * stride) {
        const int run = std::min(kRun, triangles - done);
        const std::uint64_t inside = SnapRun(at, stride, run + 2, x, y);
        // Zeros for the eight after them, which the last group and triangle read (rather
        // than clearing both whole arrays for every strip).
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(x + run + 2), _mm256_setzero_si256());
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + run + 2), _mm256_setzero_si256());
        // Bit i: all three vertices of triangle i are within the guard band.
        const std::uint64_t within = inside & (inside >> 1) & (inside >> 2);
        for (int c = 0; c < run; c += 8) {
            const unsigned go = group(c);
            const unsigned lanes = run - c < 8 ? (1u << (run - c)) - 1 : 0xFFu;
            const unsigned near = static_cast<unsigned>(within >> c) & 0xFFu;
            for (unsigned todo = ((go & near) | ~near) & lanes; todo != 0; todo &= todo - 1) {
                const int k = __builtin_ctz(todo), i = c + k;
                const int swapped = (k + (odd ? 1 : 0)) & 1;
                const char* v = at + static_cast<std::size_t>(i) * stride;
                const Vertex* v0 = reinterpret_cast<const Vertex*>(v + (swapped != 0 ? stride : 0));
                const Vertex* v1 = reinterpret_cast<const Vertex*>(v + (swapped != 0 ? 0 : stride));
                const Vertex* v2 = reinterpret_cast<const Vertex*>(v + 2 * stride);
                if (((near >> k) & 1u) == 0) {
                    alignas(16) Rect r;
                    _mm_store_si128(reinterpret_cast<__m128i*>(&r), clip);
                    DrawAnyTriangle(target, r, p, *v0, *v1, *v2, batch, &FillTriangleWide);
                    continue;
                }
                const bool flip = ((flips >> k) & 1u) != 0;
                const float* const w[3] = {v0->a, flip ? v2->a : v1->a, flip ? v1->a : v2->a};
                FillClockwise(target, p, w, batch, _mm_load_si128(reinterpret_cast<const __m128i*>(xs[k])),
                              _mm_load_si128(reinterpret_cast<const __m128i*>(ys[k])),
                              _mm_load_si128(reinterpret_cast<const __m128i*>(boxes[k])), areas[k], flip, hide,
                              hold, &found, k);
            }
        }
        // The next run starts where this one ended: its first two vertices snapped again.
    }
}

// HiddenInBox's limit for eight held triangles from `k` on at once (the first `count` of
// them; the rest repeat the last), lane by lane the same arithmetic as FrameOf, the depth
// plane of Planes8 and HiddenLimit, so the same values; -1 where a plane cannot hide. The
// depth planes' gx and gy go to slopeX and slopeY, and their bounds' margins to `margins`,
// for the pixels' test of the triangles that the box cannot show hidden. The triangles are read whole, a quarter (four words)
// of triangles j and j + 4 to a register, four such rows turned about at a time.
inline __attribute__((always_inline)) __m256i HeldLimits(const Batch::Held::Triangle* k, int count, float* slopeX,
                                                         float* slopeY, float* margins) {
    static_assert(offsetof(Batch::Held::Triangle, area) == 56 && offsetof(Batch::Held::Triangle, z) == 40);
    const int last = count - 1;
    const std::int32_t* at[8];
    for (int j = 0; j < 8; ++j) at[j] = k[j < last ? j : last].box;
    // Rows j = 0..3 of quarter q: words 4q to 4q + 3 of triangles j and j + 4.
    auto quarter = [&](int q, __m256* r) __attribute__((always_inline)) {
        for (int j = 0; j < 4; ++j)
            r[j] = _mm256_castsi256_ps(_mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(at[j] + 4 * q))),
                _mm_load_si128(reinterpret_cast<const __m128i*>(at[j + 4] + 4 * q)), 1));
    };
    // Each word of the four rows to a register, in the lanes of triangles 0..3 | 4..7.
    auto turn = [](const __m256* r, __m256* w) __attribute__((always_inline)) {
        const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
        const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
        w[0] = _mm256_shuffle_ps(t0, t2, 0x44);
        w[1] = _mm256_shuffle_ps(t0, t2, 0xEE);
        w[2] = _mm256_shuffle_ps(t1, t3, 0x44);
        w[3] = _mm256_shuffle_ps(t1, t3, 0xEE);
    };
    __m256 r[4], q0[4], q1[4], q2[4];
    quarter(0, r);
    turn(r, q0);
    quarter(1, r);
    turn(r, q1);
    quarter(2, r);
    turn(r, q2);
    quarter(3, r);
    const __m256i by0 = _mm256_castps_si256(q0[0]), by1 = _mm256_castps_si256(q0[1]),
                  bx0 = _mm256_castps_si256(q0[2]), bx1 = _mm256_castps_si256(q0[3]);
    const __m256i x0 = _mm256_castps_si256(q1[0]), x1 = _mm256_castps_si256(q1[1]),
                  x2 = _mm256_castps_si256(q1[2]), y0 = _mm256_castps_si256(q1[3]);
    const __m256i y1 = _mm256_castps_si256(q2[0]), y2 = _mm256_castps_si256(q2[1]);
    const __m256 z0 = q2[2], z1 = q2[3];
    const __m256 z2 = _mm256_shuffle_ps(_mm256_unpacklo_ps(r[0], r[1]), _mm256_unpacklo_ps(r[2], r[3]), 0x44);
    // The areas, the high half of each quarter 3: triangles 0 1 4 5 and 2 3 6 7, whole and
    // in (0, 2^52), to double by their bits; then the scale in float, in lane order.
    const __m256i magic = _mm256_set1_epi64x(0x4330000000000000LL);
    const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
    const __m256d scale = _mm256_set1_pd(static_cast<double>(kSub) * kSub);
    auto inverse = [&](__m256 a, __m256 b) __attribute__((always_inline)) {
        const __m256i area = _mm256_unpackhi_epi64(_mm256_castps_si256(a), _mm256_castps_si256(b));
        const __m256d d = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(area, magic)), two52);
        return _mm_castps_pd(_mm256_cvtpd_ps(_mm256_div_pd(scale, d)));
    };
    const __m128d i0145 = inverse(r[0], r[1]), i2367 = inverse(r[2], r[3]);
    const __m256 inv = _mm256_castpd_ps(_mm256_set_m128d(_mm_unpackhi_pd(i0145, i2367), _mm_unpacklo_pd(i0145, i2367)));
    const __m256 sub = _mm256_set1_ps(1.0f / kSub);
    auto pixels = [&](__m256i v) __attribute__((always_inline)) { return _mm256_mul_ps(_mm256_cvtepi32_ps(v), sub); };
    const __m256 fx0 = pixels(x0), fy0 = pixels(y0);
    const __m256 dx1 = pixels(_mm256_sub_epi32(x1, x0)), dy1 = pixels(_mm256_sub_epi32(y1, y0));
    const __m256 dx2 = pixels(_mm256_sub_epi32(x2, x0)), dy2 = pixels(_mm256_sub_epi32(y2, y0));
    const __m256 d1 = _mm256_sub_ps(z1, z0), d2 = _mm256_sub_ps(z2, z0);
    const __m256 gx = _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(d1, dy2), _mm256_mul_ps(d2, dy1)), inv);
    const __m256 gy = _mm256_mul_ps(_mm256_sub_ps(_mm256_mul_ps(d2, dx1), _mm256_mul_ps(d1, dx2)), inv);
    _mm256_store_ps(slopeX, gx);
    _mm256_store_ps(slopeY, gy);
    // HiddenLimit, its lanes y0 y1 x0 x1 now four registers.
    const __m256 py0 = _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(by0), fy0), gy);
    const __m256 py1 = _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(by1), fy0), gy);
    const __m256 px0 = _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(bx0), fx0), gx);
    const __m256 px1 = _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(bx1), fx0), gx);
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256 leastY = _mm256_min_ps(py0, py1), leastX = _mm256_min_ps(px0, px1);
    const __m256 mostY = _mm256_max_ps(_mm256_andnot_ps(sign, py0), _mm256_andnot_ps(sign, py1));
    const __m256 mostX = _mm256_max_ps(_mm256_andnot_ps(sign, px0), _mm256_andnot_ps(sign, px1));
    const __m256 least = _mm256_add_ps(_mm256_add_ps(z0, leastX), leastY);
    const __m256 size = _mm256_add_ps(_mm256_add_ps(_mm256_andnot_ps(sign, z0), mostX), mostY);
    const __m256 columns = _mm256_cvtepi32_ps(_mm256_sub_epi32(bx1, bx0));
    // The margin of the pixels' bound (see HeldPixels), n = columns + 1: (n + 8) 2^-22 of
    // the size, and 2^-100.
    _mm256_store_ps(margins, _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_add_ps(columns, _mm256_set1_ps(9.0f)),
                                                                       _mm256_set1_ps(0x1p-22f)),
                                                         size),
                                           _mm256_set1_ps(0x1p-100f)));
    const __m256 z = _mm256_sub_ps(
        least, _mm256_mul_ps(_mm256_mul_ps(_mm256_add_ps(_mm256_set1_ps(12.0f), columns), _mm256_set1_ps(0x1p-23f)),
                             size));
    const __m256 valid = _mm256_and_ps(_mm256_cmp_ps(size, _mm256_set1_ps(0x1p100f), _CMP_LT_OQ),
                                       _mm256_cmp_ps(z, _mm256_setzero_ps(), _CMP_GT_OQ));
    const __m256i depth = _mm256_cvttps_epi32(_mm256_add_ps(
        _mm256_mul_ps(_mm256_min_ps(z, _mm256_set1_ps(1.0f)), _mm256_set1_ps(65535.0f)), _mm256_set1_ps(0.5f)));
    // Every holding pipeline's tie is 1.
    const __m256i limit = _mm256_sub_epi32(depth, _mm256_set1_epi32(1));
    return _mm256_blendv_epi8(_mm256_set1_epi32(-1), limit, _mm256_castps_si256(valid));
}

// Whether every stored depth in a box of at most 32 columns is at most `limit`, with few
// branches on its size: rows four at a time, the last row read again for the rest, and in
// each row one read of sixteen from x0 and (Two, for more than sixteen columns) one ending
// at x1, each kept within the row and masked to the box's columns.
template <bool Two>
inline __attribute__((always_inline)) bool NarrowBoxAtMost(const Target& target, std::int64_t y0, std::int64_t y1,
                                                          std::int64_t x0, std::int64_t x1, int limit) {
    const std::int64_t width = target.width;
    const std::int64_t fromA = x0 + 16 <= width ? x0 : width - 16, fromB = x1 >= 15 ? x1 - 15 : 0;
    const std::uint16_t* const first = target.depth + y0 * width;
    const std::int64_t last = (y1 - y0) * width;
    __m256i a = _mm256_setzero_si256(), b = _mm256_setzero_si256();
    for (std::int64_t at = 0; at <= last; at += 4 * width) {
#pragma GCC unroll 4
        for (std::int64_t r = 0; r < 4; ++r) {
            const std::uint16_t* row = first + (at + r * width < last ? at + r * width : last);
            a = _mm256_max_epu16(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + fromA)));
            if (Two) b = _mm256_max_epu16(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + fromB)));
        }
    }
    const __m256i column = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    auto within = [&](std::int64_t from) __attribute__((always_inline)) {
        return _mm256_andnot_si256(_mm256_cmpgt_epi16(_mm256_set1_epi16(static_cast<short>(x0 - from)), column),
                                   _mm256_cmpgt_epi16(_mm256_set1_epi16(static_cast<short>(x1 - from + 1)), column));
    };
    const __m256i over = _mm256_set1_epi16(static_cast<short>(limit));
    const __m256i above = _mm256_or_si256(_mm256_and_si256(_mm256_subs_epu16(a, over), within(fromA)),
                                          _mm256_and_si256(_mm256_subs_epu16(b, over), within(fromB)));
    return _mm256_testz_si256(above, above) != 0;
}

// Of the first `count` held triangles from k, with their limits, a bit for each whose box
// shows it hidden. Depths only ever come nearer while the held triangles are drawn, so a
// box read before the triangles ahead of it in the group are drawn shows no more hidden
// than it would after.
inline __attribute__((always_inline)) unsigned BoxesHidden(const Target& target, const Batch::Held::Triangle* k,
                                                           int count, const std::int32_t* limits) {
    unsigned hidden = 0;
    for (int j = 0; j < count; ++j) {
        const Batch::Held::Triangle& t = k[j];
        const std::int64_t y0 = t.box[0], y1 = t.box[1], x0 = t.box[2], x1 = t.box[3];
        const int limit = limits[j];
        const bool at = x1 - x0 < 16   ? NarrowBoxAtMost<false>(target, y0, y1, x0, x1, limit)
                        : x1 - x0 < 32 ? NarrowBoxAtMost<true>(target, y0, y1, x0, x1, limit)
                                       : BoxAtMost(target, y0, y1, x0, x1, limit);
        hidden |= static_cast<unsigned>(at && limit >= 0) << j;
    }
    return hidden;
}

// Whether a held triangle's box (y0 y1 x0 x1) is too wide for it to be small (see
// kSmallColumns) but below 32 columns, and its extents (minY maxY minX maxX) within
// kSmallExtent both ways, so that its edges as a small triangle's fit 32 bits over the box.
inline __attribute__((always_inline)) bool Widened(__m128i box, __m128i extents) {
    constexpr std::int32_t kExtent = kSmallExtent << kSubBits;
    const std::int32_t columns = _mm_extract_epi32(box, 3) - _mm_extract_epi32(box, 2);
    return columns >= kSmallColumns && columns < 32 &&
           _mm_extract_epi32(extents, 1) - _mm_cvtsi128_si32(extents) <= kExtent &&
           _mm_extract_epi32(extents, 3) - _mm_extract_epi32(extents, 2) <= kExtent;
}

// The held triangles drawn in the order they were held, each with its own order. Most turn
// out hidden, so only what the hidden test needs is read first: its limits and boxes,
// eight triangles at a time; then, for those the boxes do not show hidden, the edges and
// the pixels' depths.
void SettleHeld(Batch& batch) {
    Batch::Held& h = *batch.held();
    const Target& target = h.tagged;
    // Every holding pipeline tests LESSEQUAL and has every wide loop (see Pipeline::Holds),
    // so HiddenTestFor would give each this, and SmallEdges is true.
    const HiddenTest hide = {target.width >= 16, 1};
    alignas(32) std::int32_t limits[8];
    alignas(32) float slopeX[8], slopeY[8], margins[8];
    for (int group = 0; group < h.n; group += 8) {
        const int count = h.n - group < 8 ? h.n - group : 8;
        unsigned left = (1u << count) - 1;
        _mm256_store_si256(reinterpret_cast<__m256i*>(limits),
                           HeldLimits(&h.list[group], count, slopeX, slopeY, margins));
        if (hide.on) left &= ~BoxesHidden(target, &h.list[group], count, limits);
        for (; left != 0; left &= left - 1) {
            const int j = __builtin_ctz(left), i = group + j;
            const Batch::Held::Triangle& k = h.list[i];
            const __m128i box = _mm_load_si128(reinterpret_cast<const __m128i*>(k.box));
            TriangleArgs a;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(&a.y0), _mm256_cvtepi32_epi64(box));
            // The depth plane alone, as Planes8 makes it, which the limits made too.
            a.fx0 = static_cast<float>(k.x[0]) / kSub;
            a.fy0 = static_cast<float>(k.y[0]) / kSub;
            a.base[kZ] = k.z[0];
            a.gx[kZ] = slopeX[j];
            a.gy[kZ] = slopeY[j];
            // Lane 3 of each repeats a vertex, as FillWide's.
            const __m128i X = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k.x)),
                                                _MM_SHUFFLE(1, 2, 1, 0));
            const __m128i Y = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k.y)),
                                                _MM_SHUFFLE(1, 2, 1, 0));
            alignas(16) std::int32_t x[4], y[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(x), X);
            _mm_store_si128(reinterpret_cast<__m128i*>(y), Y);
            a.target = &target;
            a.tags = h.tags;
            a.order = k.order;
            a.held = true;
            const __m128i extents = Extents(X, Y);
            // A box too wide for a small triangle's edges but not for 32-bit ones over its
            // columns: those edges and the bound of the pixels' depths show nearly all of
            // these hidden for much less than walking the rows' spans does.
            if (Widened(box, extents)) {
                EdgesWide(true, a, X, Y, box, extents, x, y, nullptr, 1);
                if (HeldHiddenWide(a, margins[j])) continue;
            }
            if (!EdgesWide(true, a, X, Y, box, extents, x, y)) continue;
            // Of the held triangles that the box cannot show hidden, nearly all still have no
            // pixel that passes, where the nearer faces cover them; those change nothing.
            if (!HeldPixels(a, margins[j])) continue;
            const PlaneFrame f = FrameOf(k.x, k.y, k.area);
            const Batch::Held::Shading& s = h.shading[i];
            const float* v[3] = {s.a[0], s.a[1], s.a[2]};
            const bool perspective = PlanesWide(*s.pipeline, v, f, a);
            DrawSetUp(target, *s.pipeline, &batch, a, perspective, v[0][kQ]);
        }
    }
    h.n = 0;
    batch.Flush();
}

#pragma GCC pop_options

// Whether this processor takes the AVX2 setup.
const bool kWideSetup = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

bool Retarget(Batch& batch, const Target& target) {
    Batch::Held& h = *batch.held();
    if (h.n > 0) SettleHeld(batch);
    const std::size_t pixels = static_cast<std::size_t>(target.width) * target.height;
    if (h.tags == nullptr || pixels != static_cast<std::size_t>(h.tagged.width) * h.tagged.height) {
        host::FreeBuffer(h.tags);
        h.tags = static_cast<std::uint16_t*>(host::AllocateBuffer((pixels + 8) * sizeof(std::uint16_t)));
    }
    h.tagged = h.tags != nullptr ? target : Target{};
    if (h.tags == nullptr) return false;
    RestartTags(batch);
    return true;
}

// Every tag back to 0, below every order to come, once the held triangles are drawn.
void RestartTags(Batch& batch) {
    Batch::Held& h = *batch.held();
    if (h.n > 0) SettleHeld(batch);
    std::fill_n(h.tags, static_cast<std::size_t>(h.tagged.width) * h.tagged.height + 8, std::uint16_t{0});
    h.next = 1;
}
#endif

// Positions must be finite to be snapped; attributes need not be, as the pixel loops turn
// any NaN or infinity into some in-range colour, depth or texel.
bool Finite(const Vertex& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

// Flat shading: every vertex takes the first one's colours.
void CopyColours(const Vertex& from, Vertex& to) {
    std::copy(from.a + kDiffuse, from.a + kDiffuse + 4, to.a + kDiffuse);
    std::copy(from.a + kSpecular, from.a + kSpecular + 4, to.a + kSpecular);
}

bool InGuardBand(const Vertex& v) { return std::fabs(v.x) <= kGuard && std::fabs(v.y) <= kGuard; }

Vertex Between(const Vertex& in, const Vertex& out, float t) {
    Vertex r;
    r.x = in.x + (out.x - in.x) * t;
    r.y = in.y + (out.y - in.y) * t;
    for (int k = 0; k < kAttrCount; ++k) r.a[k] = in.a[k] + (out.a[k] - in.a[k]) * t;
    return r;
}

// Clips a polygon to one guard-band side (coordinate `axis` times `sign` <= kGuard).
// Screen-space attributes are affine, so clipping here needs no perspective care.
// The cut point is always found from the inside vertex, so neighbours agree on it.
int ClipSide(const Vertex* in, int n, Vertex* out, int axis, float sign) {
    auto dist = [&](const Vertex& v) { return kGuard - sign * (axis == 0 ? v.x : v.y); };
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const Vertex& a = in[i];
        const Vertex& b = in[(i + 1) % n];
        float da = dist(a), db = dist(b);
        if (da >= 0) out[m++] = a;
        if ((da >= 0) != (db >= 0)) {
            out[m++] = da >= 0 ? Between(a, b, da / (da - db)) : Between(b, a, db / (db - da));
        }
    }
    return m;
}

} // namespace

void Pipeline::Compile(const State& state) {
    state_ = state;
    smallEdges_ = true;
    DepthMode depth = state.forceGeneric ? DepthMode::Any : DepthFor(state);
    BlendMode blend = state.forceGeneric ? BlendMode::Any : BlendFor(state);
    const Stage& g = state.stages[0];
    for (int minified = 0; minified < 2; ++minified) {
        Filter filter = minified ? g.minFilter : g.magFilter;
        ShadeMode shade = state.forceGeneric ? ShadeMode::Generic : ShadeFor(state, filter);
        for (int persp = 0; persp < 2; ++persp) {
            Loops loops = PickLoops(depth, shade, blend, persp != 0);
            TriangleFn wide = state.forceNarrow ? nullptr : WideTriangle(depth, shade, blend, persp != 0);
            if (wide != nullptr) {
                // Where rows can go straight into the target, that beats queueing them.
                TriangleFn direct = DirectTriangle(depth, shade, blend, persp != 0);
                loops.triangle = direct != nullptr ? direct : wide;
            }
            smallEdges_ = smallEdges_ && wide != nullptr;
            wide_[minified][persp] = wide != nullptr;
            // Lines are never minified.
            if (minified == 0) {
                lines_[persp] = state.forceNarrow ? nullptr : WideLine(depth, shade, blend, persp != 0);
            }
            spans_[minified][persp] = loops.span;
            triangles_[minified][persp] = loops.triangle;
        }
    }
    choosesFilter_ = g.texture.texels != nullptr && g.minFilter != g.magFilter;
    attributes_ = kBasicAttrs;
    for (int minified = 0; minified < 2; ++minified) {
        Filter filter = minified ? g.minFilter : g.magFilter;
        if (state.forceGeneric || ShadeFor(state, filter) == ShadeMode::Generic)
            attributes_ = kAttrCount;
    }
    // Only the wide setup and loops hold and tag, and they read only the basic attributes.
    // Under culling there is nothing facing away to hold.
    holds_ = depth == DepthMode::LessEqualWrite && blend == BlendMode::Replace && !state.forceNarrow &&
             state.cull == Cull::None &&
             !state.forceScalarSetup && attributes_ == kBasicAttrs && wide_[0][0] && wide_[0][1] &&
             wide_[1][0] && wide_[1][1];
#if RASTER_WIDE_SETUP
    holds_ = holds_ && kWideSetup;
#else
    holds_ = false;
#endif
}

Batch::Held* MakeHeld() {
#if RASTER_WIDE_SETUP
    if (!kWideSetup) return nullptr;
    Batch::Held* h = new (std::nothrow) Batch::Held();
    if (h == nullptr) return nullptr;
    // On large pages, like the target's buffers: a frame fills and reads 768 KB of these.
    // The zeroed buffers hold the records as they are: plain data, no constructor to run.
    static_assert(std::is_trivial_v<Batch::Held::Triangle> && std::is_trivial_v<Batch::Held::Shading>);
    h->list = static_cast<Batch::Held::Triangle*>(
        host::AllocateBuffer(sizeof(Batch::Held::Triangle) * Batch::Held::kCapacity));
    h->shading = static_cast<Batch::Held::Shading*>(
        host::AllocateBuffer(sizeof(Batch::Held::Shading) * Batch::Held::kCapacity));
    if (h->list == nullptr || h->shading == nullptr) {
        DropHeld(h);
        return nullptr;
    }
    return h;
#else
    return nullptr;
#endif
}

void DropHeld(Batch::Held* h) {
    if (h == nullptr) return;
    host::FreeBuffer(h->list);
    host::FreeBuffer(h->shading);
    host::FreeBuffer(h->tags);
    delete h;
}

void Batch::Settle() {
#if RASTER_WIDE_SETUP
    if (held_ != nullptr && held_->n > 0) {
        SettleHeld(*this);
        return;
    }
#endif
    Flush();
}

namespace {

// Sets n bytes at p to b. The frame's clears are runs of megabytes, for which the library's
// memset takes string stores; the whole frame measured about half a percent faster with
// plain stores instead, presumably because the rings' first depth tests and colour writes
// then find the cleared lines still in the cache.
void FillBytes(unsigned char* p, int b, std::size_t n) {
#if defined(__SSE2__)
    std::size_t head = (16 - (reinterpret_cast<std::uintptr_t>(p) & 15u)) & 15u;
    if (head > n) head = n;
    std::memset(p, b, head);
    p += head;
    n -= head;
    const __m128i v = _mm_set1_epi8(static_cast<char>(b));
    for (; n >= 64; n -= 64, p += 64) {
        _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(p + 16), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(p + 32), v);
        _mm_store_si128(reinterpret_cast<__m128i*>(p + 48), v);
    }
#endif
    std::memset(p, b, n);
}

// Fills rows [top, bottom) x [left, right) of a width-wide buffer with one value. Rows that
// span the buffer's width are one run; a value of four or two like bytes is filled byte by
// byte (FillBytes).
template <typename T>
void FillRect(T* buffer, int width, const Rect& r, T value) {
    if (r.left >= r.right || r.top >= r.bottom) return;
    const auto bytes = [](T v) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        for (std::size_t i = 1; i < sizeof(T); ++i) {
            if (b[i] != b[0]) return -1;
        }
        return static_cast<int>(b[0]);
    };
    const int uniform = bytes(value);
    const bool whole = r.left == 0 && r.right == width;
    const int runs = whole ? 1 : r.bottom - r.top;
    const std::size_t length = whole ? static_cast<std::size_t>(r.bottom - r.top) * static_cast<std::size_t>(width)
                                     : static_cast<std::size_t>(r.right - r.left);
    for (int i = 0; i < runs; ++i) {
        T* run = buffer + static_cast<std::ptrdiff_t>(r.top + i) * width + r.left;
        if (uniform >= 0) {
            FillBytes(reinterpret_cast<unsigned char*>(run), uniform, length * sizeof(T));
        } else {
            std::fill(run, run + length, value);
        }
    }
}

} // namespace

void ClearColour(const Target& t, const Rect& rect, std::uint32_t colour) {
    FillRect(t.colour, t.width, Inside(t, rect), colour);
}

void ClearDepth(const Target& t, const Rect& rect, float z) {
    if (t.depth == nullptr) return;
    float clamped = std::clamp(z, 0.0f, 1.0f);
    auto value = static_cast<std::uint16_t>(clamped * 65535.0f + 0.5f);
    FillRect(t.depth, t.width, Inside(t, rect), value);
}

namespace {

// A triangle anywhere, shaded in any way: clipped to the guard band when it reaches beyond,
// each piece filled by `fill`.
void DrawAnyTriangle(const Target& t, const Rect& clip, const Pipeline& p, const Vertex& v0,
                     const Vertex& v1, const Vertex& v2, Batch* batch, FillFn fill) {
    // Within the guard band is finite too: the common case asks nothing more.
    bool inside = InGuardBand(v0) && InGuardBand(v1) && InGuardBand(v2);
    if (inside && !p.state().flat) {
        fill(t, clip, p, &v0, &v1, &v2, batch);
        return;
    }
    if (!Finite(v0) || !Finite(v1) || !Finite(v2)) return;
    Vertex poly[2][8];
    poly[0][0] = v0;
    poly[0][1] = v1;
    poly[0][2] = v2;
    if (p.state().flat) {
        for (int i = 1; i < 3; ++i) CopyColours(v0, poly[0][i]);
    }
    int n = 3, cur = 0;
    for (int side = 0; side < 4 && n >= 3 && !inside; ++side) {
        n = ClipSide(poly[cur], n, poly[1 - cur], side / 2, side % 2 ? 1.0f : -1.0f);
        cur = 1 - cur;
    }
    for (int i = 1; i + 1 < n; ++i)
        fill(t, clip, p, &poly[cur][0], &poly[cur][i], &poly[cur][i + 1], batch);
}

} // namespace

void DrawTriangle(const Target& t, const Rect& scissor, const Pipeline& p, const Vertex& v0,
                  const Vertex& v1, const Vertex& v2, Batch* batch) {
#if RASTER_WIDE_SETUP
    if (kWideSetup && !p.state().forceScalarSetup) {
        DrawTriangleWide(t, scissor, p, &v0, &v1, &v2, batch);
        return;
    }
#endif
    Rect clip = Inside(t, scissor);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return;
    DrawAnyTriangle(t, clip, p, v0, v1, v2, batch, &FillTriangle);
}

void DrawStrip(const Target& t, const Rect& scissor, const Pipeline& p, const Vertex* first,
               std::size_t stride, int triangles, bool odd, Batch* batch) {
#if RASTER_WIDE_SETUP
    if (kWideSetup && !p.state().forceScalarSetup) {
        DrawStripWide(t, scissor, p, first, stride, triangles, odd, batch);
        return;
    }
#endif
    const char* at = reinterpret_cast<const char*>(first);
    for (int i = 0; i < triangles; ++i, at += stride) {
        const Vertex& a = *reinterpret_cast<const Vertex*>(at);
        const Vertex& b = *reinterpret_cast<const Vertex*>(at + stride);
        const Vertex& c = *reinterpret_cast<const Vertex*>(at + 2 * stride);
        if (((i + (odd ? 1 : 0)) & 1) != 0) DrawTriangle(t, scissor, p, b, a, c, batch);
        else DrawTriangle(t, scissor, p, a, b, c, batch);
    }
}

// --- lines and points ------------------------------------------------------------------

namespace {

// One pixel at a time along a line: the attributes at fraction f of the way from `from`,
// a + (b - a) f, for the slots the pixel loop reads.
struct LinePixels {
    const Target* target;
    SpanFn span;
    int attributes;                       // kBasicAttrs or kAttrCount
    alignas(16) float from[kAttrCount];   // a
    alignas(16) float delta[kAttrCount];  // b - a
    SpanArgs s;

    LinePixels(const Target& t, const Pipeline& p, SpanFn fn, const Vertex& a, const Vertex& b)
        : target(&t), span(fn), attributes(p.Attributes()) {
        for (int k = 0; k < kAttrCount; ++k) {
            from[k] = a.a[k];
            delta[k] = b.a[k] - a.a[k];
            s.v[k] = 0.0f;
            s.dx[k] = 0.0f;
        }
        s.count = 1;
        s.minified = false;
        s.state = &p.state();
    }

    void Draw(float f, std::int64_t x, std::int64_t y) {
        for (int k = 0; k < attributes; k += 4) {
#if defined(__SSE2__)
            const __m128 v = _mm_add_ps(_mm_load_ps(from + k), _mm_mul_ps(_mm_load_ps(delta + k), _mm_set1_ps(f)));
            _mm_store_ps(s.v + k, v);
#else
            for (int j = k; j < k + 4; ++j) s.v[j] = from[j] + delta[j] * f;
#endif
        }
        const Target& t = *target;
        std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * t.width + static_cast<std::ptrdiff_t>(x);
        s.colour = t.colour + at;
        s.depth = t.depth != nullptr ? t.depth + at : nullptr;
        span(s);
    }
};

// Keeps a rounded coordinate within a few pixels of the clip range: pixels beyond it are
// never drawn, and the integer stays small.
std::int64_t Near(double v, int lo, int hi) {
    return RoundHalfUp(std::clamp(v, static_cast<double>(lo) - 4.0, static_cast<double>(hi) + 4.0));
}

} // namespace

void DrawLine(const Target& t, const Rect& scissor, const Pipeline& p, const Vertex& v0,
              const Vertex& v1) {
    Rect clip = Inside(t, scissor);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return;
    if (!Finite(v0) || !Finite(v1)) return;
    const Vertex& a = v0;
    // The end's colours are the start's under flat shading; its position and q are its own.
    const Vertex& end = p.state().flat ? v0 : v1;
    double dx = static_cast<double>(v1.x) - a.x, dy = static_cast<double>(v1.y) - a.y;
    bool xMajor = std::fabs(dx) >= std::fabs(dy);
    double major0 = xMajor ? a.x : a.y, major1 = xMajor ? v1.x : v1.y;
    double minor0 = xMajor ? a.y : a.x, slope = xMajor ? dy / dx : dx / dy;
    int lo = xMajor ? clip.left : clip.top, hi = (xMajor ? clip.right : clip.bottom) - 1;
    int minorLo = xMajor ? clip.top : clip.left, minorHi = (xMajor ? clip.bottom : clip.right) - 1;
    std::int64_t s0 = Near(major0, lo, hi), s1 = Near(major1, lo, hi);
    if (s0 == s1) return;
    const std::int64_t dir = s1 > s0 ? 1 : -1;
    // The start pixel is drawn, the end pixel is not.
    std::int64_t first = std::max<std::int64_t>(std::min(s0, s1 - dir), lo);
    std::int64_t last = std::min<std::int64_t>(std::max(s0, s1 - dir), hi);

    float q = a.a[kQ];
    bool perspective = !(q == v1.a[kQ] && q > 0.0f);
    // One colour all along, under a state with direct loops: no fraction per pixel to make.
    // Only the diffuse slots are divided by q for it, as below.
    FlatLineFn direct = perspective ? nullptr : DirectLine(p.Triangle(false, false));
    if (direct != nullptr && static_cast<std::int64_t>(t.width) * t.height <= INT32_MAX) {
        FlatLineArgs line;
        bool flat = true;
        for (int k = 0; k < 4; ++k) {
            line.colour[k] = a.a[kDiffuse + k] / q;
            flat = flat && end.a[kDiffuse + k] / q - line.colour[k] == 0.0f;
        }
        if (flat) {
            line.target = &t;
            line.xMajor = xMajor;
            line.major0 = major0;
            line.minor0 = minor0;
            line.slope = slope;
            line.first = first;
            line.last = last;
            line.minorLo = minorLo;
            line.minorHi = minorHi;
            direct(line);
            return;
        }
    }
    Vertex b = v1;
    if (p.state().flat) CopyColours(v0, b);
    Vertex pa = a;
    if (!perspective) {
        for (int k = kDiffuse; k < kAttrCount; ++k) pa.a[k] /= q, b.a[k] /= q;
    }
    double length = major1 - major0;
    auto each = [&](auto&& draw) {
        for (std::int64_t m = first; m <= last; ++m) {
            double f = std::clamp((static_cast<double>(m) - major0) / length, 0.0, 1.0);
            std::int64_t n = Near(minor0 + (static_cast<double>(m) - major0) * slope, minorLo, minorHi);
            if (n < minorLo || n > minorHi) continue;
            draw(static_cast<float>(f), xMajor ? m : n, xMajor ? n : m);
        }
    };
    if (LineFn wide = p.Line(perspective)) {
        LineArgs batch;
        batch.target = &t;
        batch.state = &p.state();
        batch.count = 0;
        for (int k = 0; k < kBasicAttrs; ++k) {
            batch.from[k] = pa.a[k];
            batch.delta[k] = b.a[k] - pa.a[k];
        }
        each([&](float f, std::int64_t x, std::int64_t y) {
            batch.f[batch.count] = f;
            batch.at[batch.count] = static_cast<std::ptrdiff_t>(y) * t.width + static_cast<std::ptrdiff_t>(x);
            if (++batch.count == LineArgs::kBatch) {
                wide(batch);
                batch.count = 0;
            }
        });
        if (batch.count > 0) wide(batch);
        return;
    }
    LinePixels pixels(t, p, p.Span(false, perspective), pa, b);
    each([&](float f, std::int64_t x, std::int64_t y) { pixels.Draw(f, x, y); });
}

void DrawPoint(const Target& t, const Rect& scissor, const Pipeline& p, const Vertex& v) {
    Rect clip = Inside(t, scissor);
    if (clip.left >= clip.right || clip.top >= clip.bottom || !Finite(v)) return;
    std::int64_t x = Near(v.x, clip.left, clip.right - 1);
    std::int64_t y = Near(v.y, clip.top, clip.bottom - 1);
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
    float q = v.a[kQ];
    bool perspective = !(q > 0.0f);
    Vertex pv = v;
    if (!perspective) {
        for (int k = kDiffuse; k < kAttrCount; ++k) pv.a[k] /= q;
    }
    LinePixels(t, p, p.Span(false, perspective), pv, pv).Draw(0.0f, x, y);
}

} // namespace raster
