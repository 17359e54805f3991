// Software rasteriser: fills screen-space triangles, lines and points into a 32-bit colour
// target and a 16-bit depth target. It knows nothing of Direct3D's objects; the device
// (d3d8_device.cpp) resolves its states into a raster::State and hands over vertices that
// are already transformed, lit and clipped to the near and far planes.
//
// The rules, written down once:
// - Pixel centres lie on integer coordinates: pixel (x, y) is sampled at exactly (x, y).
// - Vertex positions are snapped to 1/256 pixel (round half up). Triangle coverage uses
//   exact integer edge functions with the top-left rule: a pixel centre exactly on an edge
//   belongs to the triangle only when that edge is a top edge (horizontal, triangle below)
//   or a left edge. Two triangles sharing an edge therefore cover each pixel exactly once.
// - Attributes (colours, texture coordinates) are interpolated perspective-correctly: the
//   vertices carry attribute x q (q = 1/w, the "rhw"), which is affine in screen space, and
//   each pixel divides by the interpolated q. Depth is interpolated affinely in screen space.
// - Lines are one pixel wide and aliased: along the major axis the pixel whose centre is
//   nearest the start point is drawn, the one nearest the end point is not (unless the
//   state asks for the last pixel), and the minor coordinate is rounded at each major-axis
//   pixel centre. Rounding is half up everywhere (floor(v + 0.5)).
// - Colours are carried as floats in 0..255 until the pixel, where they are rounded to
//   8 bits once (half up, clamped). From there on all arithmetic is 8-bit integer: a
//   product of two 8-bit values is rounded to nearest (Div255). Texture positions are
//   rounded to 1/256 texel (nearest, ties to even); texel centres lie at (i + 0.5) / size;
//   bilinear weights are those 8 fractional bits and each lerp truncates. Depth is rounded
//   to 16 bits (z x 65535, half up).
// - Everything is deterministic: the same input gives the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace raster {

// Interpolated attribute slots of a vertex. Slots from kDiffuse on hold value x q. Colours
// run b, g, r, a as the bytes of a 0xAARRGGBB word do. The first kBasicAttrs slots are all
// that the common states read, so setup only works on those for them.
enum Attr : int {
    kZ = 0,          // depth 0..1 (not multiplied by q)
    kQ = 1,          // 1/w
    kDiffuse = 2,    // b, g, r, a in 0..255
    kTex0 = 6,       // u, v of stage 0
    kBasicAttrs = 8,
    kTex1 = 8,       // u, v of stage 1
    kSpecular = 10,  // b, g, r, a in 0..255
    kAttrCount = 16  // padded so that loops over attributes vectorise
};

struct Vertex {
    float x, y;                        // screen position in pixels
    alignas(16) float a[kAttrCount];   // attributes, see Attr
};

// Where pixels go. Rows are packed: pitch = width.
struct Target {
    std::uint32_t* colour = nullptr; // width x height words 0xAARRGGBB
    std::uint16_t* depth = nullptr;  // width x height depth values, null when there is none
    int width = 0;
    int height = 0;
};

// Pixels outside [left, right) x [top, bottom) are never touched.
struct Rect {
    int left, top, right, bottom;
};

enum class Cmp : std::uint8_t { Never = 1, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
enum class Cull : std::uint8_t { None = 1, Clockwise, CounterClockwise };
enum class Filter : std::uint8_t { Point, Linear };
enum class Address : std::uint8_t { Wrap = 1, Mirror, Clamp };

// Blend factors with Direct3D's numbering (D3DBLEND_ZERO = 1 ... BOTHINVSRCALPHA = 13).
enum class Factor : std::uint8_t {
    Zero = 1, One, SrcColour, InvSrcColour, SrcAlpha, InvSrcAlpha, DestAlpha, InvDestAlpha,
    DestColour, InvDestColour, SrcAlphaSat, BothSrcAlpha, BothInvSrcAlpha
};

// Texture-stage operations and arguments with Direct3D's numbering (D3DTOP_*, D3DTA_*).
enum Op : std::uint8_t {
    kOpDisable = 1, kOpSelect1, kOpSelect2, kOpModulate, kOpModulate2x, kOpModulate4x, kOpAdd,
    kOpAddSigned, kOpAddSigned2x, kOpSubtract, kOpAddSmooth, kOpBlendDiffuseAlpha,
    kOpBlendTextureAlpha, kOpBlendFactorAlpha, kOpBlendTextureAlphaPm, kOpBlendCurrentAlpha
};
enum Arg : std::uint8_t {
    kArgDiffuse = 0, kArgCurrent = 1, kArgTexture = 2, kArgFactor = 3, kArgSpecular = 4,
    kArgSelectMask = 0x0F, kArgComplement = 0x10, kArgAlphaReplicate = 0x20
};

// A texture as the samplers read it: level 0 only, 0xAARRGGBB texels, pitch = width.
struct Texture {
    const std::uint32_t* texels = nullptr;
    int width = 0;
    int height = 0;
    // Optional copy for wrapped bilinear filtering, made by BuildWrapped from the texels
    // (and kept up to date with them by whoever owns both); null when there is none.
    const std::uint32_t* wrapped = nullptr;

    bool operator==(const Texture&) const = default;
};

// A power-of-two texture with its wrap written out: each row followed by its first texel,
// and the first row again after the last, (width + 1) x (height + 1) texels. The two
// texels of a bilinear sample's row then lie side by side, one 8-byte read, and the
// sample's second row is always one padded row further on. WrappedWords gives the words.
std::size_t WrappedWords(int width, int height);
void BuildWrapped(const Texture& texture, std::uint32_t* wrapped);

// One texture stage. Stage 0 reads texture coordinates kTex0, stage 1 kTex1.
struct Stage {
    std::uint8_t colourOp = kOpDisable;
    std::uint8_t colourArg1 = kArgTexture;
    std::uint8_t colourArg2 = kArgCurrent;
    std::uint8_t alphaOp = kOpDisable;
    std::uint8_t alphaArg1 = kArgTexture;
    std::uint8_t alphaArg2 = kArgCurrent;
    Filter magFilter = Filter::Point;
    Filter minFilter = Filter::Point;
    Address addressU = Address::Wrap;
    Address addressV = Address::Wrap;
    Texture texture; // texels null: no texture bound, D3DTA_TEXTURE reads the stage input

    bool operator==(const Stage&) const = default;
};

constexpr int kStages = 2; // stages the pixel pipeline applies; later ones are not drawn

// Everything the rasteriser needs to know about how pixels are made, resolved by the device.
struct State {
    bool depthTest = true;              // off: no depth read and no depth write
    bool depthWrite = true;
    Cmp depthFunc = Cmp::LessEqual;
    bool blend = false;
    Factor srcBlend = Factor::One;
    Factor destBlend = Factor::Zero;
    bool alphaTest = false;
    Cmp alphaFunc = Cmp::Always;
    std::uint8_t alphaRef = 0;
    Cull cull = Cull::CounterClockwise;
    bool flat = false;                  // flat shading: the first vertex's colours everywhere
    bool addSpecular = false;           // specular colour added after the stages
    std::uint32_t textureFactor = 0xFFFFFFFFu;
    Stage stages[kStages];
    bool forceGeneric = false;          // draw with the all-states pixel loop (cross-checks)
    bool forceNarrow = false;           // draw one pixel at a time, never eight (cross-checks)
    bool forceScalarSetup = false;      // set triangles up one value at a time (cross-checks)

    bool operator==(const State&) const = default;
};

struct SpanArgs;
struct TriangleArgs;
struct LineArgs;
using SpanFn = void (*)(const SpanArgs&);
using TriangleFn = void (*)(TriangleArgs&);
using LineFn = void (*)(const LineArgs&);

// A State turned into the pixel loops that draw it. Compile once per state change.
class Pipeline {
public:
    void Compile(const State& state);
    const State& state() const { return state_; }

    // The loops for a magnified or minified stage-0 texture, with or without the per-pixel
    // divide by q (not needed when all vertices share one q): one run of pixels, or all
    // the rows of a triangle.
    SpanFn Span(bool minified, bool perspective) const { return spans_[minified][perspective]; }
    TriangleFn Triangle(bool minified, bool perspective) const {
        return triangles_[minified][perspective];
    }
    // Whether that loop is a wide one, which can add to a batch.
    bool Wide(bool minified, bool perspective) const { return wide_[minified][perspective]; }
    // The loop for a batch of a line's pixels, which shades them eight at a time; null
    // where there is none (lines then go pixel by pixel through Span).
    LineFn Line(bool perspective) const { return lines_[perspective]; }
    // Whether stage 0's min and mag filters differ, so that each triangle must choose.
    bool ChoosesFilter() const { return choosesFilter_; }
    // Attribute slots the loops read: kBasicAttrs or kAttrCount.
    int Attributes() const { return attributes_; }
    // Whether every triangle loop takes small triangles' edges instead of edge walkers.
    bool SmallEdges() const { return smallEdges_; }
    // Whether a batch may hold its triangles back (see Batch): opaque, LESSEQUAL with depth
    // writes, no alpha test, no culling, every triangle set up and shaded by the wide loops.
    bool Holds() const { return holds_; }

private:
    State state_;
    SpanFn spans_[2][2] = {};         // [minified][perspective]
    TriangleFn triangles_[2][2] = {};
    LineFn lines_[2] = {};            // [perspective]
    bool wide_[2][2] = {};
    bool choosesFilter_ = false;
    int attributes_ = kAttrCount;
    bool smallEdges_ = false;
    bool holds_ = false;
};

// Triangles drawn one after another with one pipeline into one target may be shaded
// together: the wide loops then fill groups of eight pixels across triangles instead of
// finishing each triangle's last group alone. Pixels pending in a batch are in the target
// once Flush returns; a pixel is never drawn out of its triangles' order.
//
// A batch made to hold may also keep back the triangles that face away (counter-clockwise
// on the screen, Direct3D's back faces) under a pipeline that Holds(), and draw them at
// Settle, after the others, when most of them are hidden and dropped whole. The pixels come
// out as in drawing order all the same: such a pipeline's pixel is the last drawn of those
// nearest, so a tag of drawing order kept for each pixel settles a tie of depths. Until
// Settle returns, nothing else may draw into that target, read it or change what the held
// triangles read (their pipelines and textures).
class Batch {
public:
    struct Pending; // the pixels waiting, and how to shade them (raster_wide.cpp)
    struct Held;    // the triangles held back and the tags (raster.cpp)

    explicit Batch(bool hold = false); // makes its storage once
    ~Batch();                          // settles: held triangles' pipelines must still be there
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void Flush();
    // Draws the triangles held back, then flushes.
    void Settle();
    Pending* pending() const { return pending_; }
    Held* held() const { return held_; }

private:
    Pending* pending_ = nullptr; // null where there are no wide loops
    Held* held_ = nullptr;       // null unless made to hold where there are wide loops
};

// The three vertices in drawing order; the first gives the colour under flat shading.
// With a batch, the triangle's pixels may still be pending when this returns.
void DrawTriangle(const Target& target, const Rect& scissor, const Pipeline& pipeline,
                  const Vertex& v0, const Vertex& v1, const Vertex& v2, Batch* batch = nullptr);
// The triangles of a strip, as DrawTriangle draws each in turn: vertex i lies `stride`
// bytes x i after `first`, and triangle i joins vertices i, i + 1 and i + 2, the first two
// swapped when i + (odd ? 1 : 0) is odd.
void DrawStrip(const Target& target, const Rect& scissor, const Pipeline& pipeline,
               const Vertex* first, std::size_t stride, int triangles, bool odd,
               Batch* batch = nullptr);
void DrawLine(const Target& target, const Rect& scissor, const Pipeline& pipeline,
              const Vertex& v0, const Vertex& v1);
// A one-pixel point: the pixel whose centre is nearest (x, y).
void DrawPoint(const Target& target, const Rect& scissor, const Pipeline& pipeline,
               const Vertex& v);

void ClearColour(const Target& target, const Rect& rect, std::uint32_t colour);
void ClearDepth(const Target& target, const Rect& rect, float z);

// Rounded x / 255 for x in [0, 255 x 255 x 2]: the product rule of all colour arithmetic.
constexpr std::uint32_t Div255(std::uint32_t x) { return (x + 127) / 255; }

// Source-alpha blend of one pixel (SRCALPHA / INVSRCALPHA on all four channels).
constexpr std::uint32_t BlendSrcAlpha(std::uint32_t src, std::uint32_t dst, std::uint32_t alpha) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t s = (src >> shift) & 0xFF;
        std::uint32_t d = (dst >> shift) & 0xFF;
        out |= Div255(s * alpha + d * (255 - alpha)) << shift;
    }
    return out;
}

} // namespace raster
