// The rasteriser's pixel loops: depth test, texture stages, alpha test and blending for one
// horizontal run. Each combination of depth, shading and blending modes gets its own loop,
// so the inner loops do not branch on state; the Generic and Any modes cover everything.
#include "platform/raster_span.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The per-pixel helpers must inline into the loops even where the compiler would not.
#define RASTER_INLINE inline __attribute__((always_inline))

namespace raster {
namespace {

constexpr std::uint32_t kLanes = 0x00FF00FFu; // two 8-bit channels with 8 spare bits each

// Colours: rounded half up to 8 bits, clamped; NaN reads as 0.
RASTER_INLINE std::uint32_t ToByte(float f) {
    f = f > 0.0f ? f : 0.0f;
    f = f < 255.0f ? f : 255.0f;
    return static_cast<std::uint32_t>(f + 0.5f);
}

// Depth: z in 0..1 to the 16-bit buffer's scale, rounded half up, clamped.
RASTER_INLINE std::uint32_t DepthOf(float z) {
    z = z > 0.0f ? z : 0.0f;
    z = z < 1.0f ? z : 1.0f;
    return static_cast<std::uint32_t>(z * 65535.0f + 0.5f);
}

// Texture positions in 1/256 texel: f rounded to the nearest integer, ties to even. A value
// beyond the int32 range (or NaN) gives some int32; the texel masks keep any in the texture.
RASTER_INLINE std::int32_t Fixed(float f) {
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(f));
#else
    f = f > -1.0e9f ? f : -1.0e9f; // NaN fails the test and becomes -1e9
    f = f < 1.0e9f ? f : 1.0e9f;
    return static_cast<std::int32_t>(std::nearbyint(f));
#endif
}

RASTER_INLINE std::uint32_t Pack(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

inline std::uint32_t Channel(std::uint32_t c, int i) { return (c >> (8 * i)) & 0xFF; }

inline bool Compare(Cmp f, std::uint32_t value, std::uint32_t reference) {
    switch (f) {
    case Cmp::Never: return false;
    case Cmp::Less: return value < reference;
    case Cmp::Equal: return value == reference;
    case Cmp::LessEqual: return value <= reference;
    case Cmp::Greater: return value > reference;
    case Cmp::NotEqual: return value != reference;
    case Cmp::GreaterEqual: return value >= reference;
    case Cmp::Always: return true;
    }
    return true;
}

// Div255 on both lanes of a word at once; exact for lane values up to 255 x 255.
RASTER_INLINE std::uint32_t Div255Lanes(std::uint32_t x) {
    x += 0x00800080u;
    return ((x + ((x >> 8) & kLanes)) >> 8) & kLanes;
}

#if defined(__SSE2__)
// The four channels of a and b side by side in 16-bit lanes: a.b, b.b, a.g, b.g, ...
RASTER_INLINE __m128i Pairs(std::uint32_t a, std::uint32_t b) {
    __m128i bytes = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(a)),
                                      _mm_cvtsi32_si128(static_cast<int>(b)));
    return _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
}

// The weight pair (wa, wb) in every 32-bit lane, for _mm_madd_epi16 with Pairs.
RASTER_INLINE __m128i Weights(std::uint32_t wa, std::uint32_t wb) {
    return _mm_shuffle_epi32(_mm_cvtsi32_si128(static_cast<int>(wa | (wb << 16))), 0);
}

// Four 32-bit lanes of bytes back into one 0xAARRGGBB word.
RASTER_INLINE std::uint32_t Bytes(__m128i lanes) {
    __m128i words = _mm_packs_epi32(lanes, lanes);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}
#endif

// Per channel Div255(a x w + b x (255 - w)), all four channels.
RASTER_INLINE std::uint32_t Mix(std::uint32_t a, std::uint32_t b, std::uint32_t w) {
#if defined(__SSE2__)
    __m128i x = _mm_madd_epi16(Pairs(a, b), Weights(w, 255 - w));
    // Div255 as (x + 128 + (x + 128) / 256) / 256, exact for x up to 255 x 255.
    x = _mm_add_epi32(x, _mm_set1_epi32(128));
    return Bytes(_mm_srli_epi32(_mm_add_epi32(x, _mm_srli_epi32(x, 8)), 8));
#else
    std::uint32_t rb = Div255Lanes((a & kLanes) * w + (b & kLanes) * (255 - w));
    std::uint32_t ag = Div255Lanes(((a >> 8) & kLanes) * w + ((b >> 8) & kLanes) * (255 - w));
    return rb | (ag << 8);
#endif
}

// Per channel (a x (256 - f) + b x f) / 256, truncated: one bilinear step.
RASTER_INLINE std::uint32_t Lerp(std::uint32_t a, std::uint32_t b, std::uint32_t f) {
    std::uint32_t rb = (((a & kLanes) * (256 - f) + (b & kLanes) * f) >> 8) & kLanes;
    std::uint32_t ag = ((((a >> 8) & kLanes) * (256 - f) + ((b >> 8) & kLanes) * f) >> 8) & kLanes;
    return rb | (ag << 8);
}

// Lerp(Lerp(t00, t10, fx), Lerp(t01, t11, fx), fy): the four texels around a sample.
RASTER_INLINE std::uint32_t Bilinear(std::uint32_t t00, std::uint32_t t10, std::uint32_t t01,
                                     std::uint32_t t11, std::uint32_t fx, std::uint32_t fy) {
#if defined(__SSE2__)
    // Each row's two texels weighted in one multiply-add, truncated as Lerp does, then the
    // two rows the same way.
    const __m128i wx = Weights(256 - fx, fx);
    __m128i top = _mm_srli_epi32(_mm_madd_epi16(Pairs(t00, t10), wx), 8);
    __m128i bottom = _mm_srli_epi32(_mm_madd_epi16(Pairs(t01, t11), wx), 8);
    __m128i rows = _mm_or_si128(top, _mm_slli_epi32(bottom, 16));
    return Bytes(_mm_srli_epi32(_mm_madd_epi16(rows, Weights(256 - fy, fy)), 8));
#else
    return Lerp(Lerp(t00, t10, fx), Lerp(t01, t11, fx), fy);
#endif
}

inline int Wrapped(int i, int size, Address mode) {
    switch (mode) {
    case Address::Clamp: return i < 0 ? 0 : (i >= size ? size - 1 : i);
    case Address::Mirror: {
        int m = i % (2 * size);
        if (m < 0) m += 2 * size;
        return m < size ? m : 2 * size - 1 - m;
    }
    case Address::Wrap: break;
    }
    int m = i % size;
    return m < 0 ? m + size : m;
}

// Texel centres sit at (i + 0.5) / size: linear filtering reads the four texels around
// u x size - 0.5 with 8-bit weights; point sampling reads the texel containing u x size.
std::uint32_t Sample(const Stage& st, float u, float v, bool minified) {
    const Texture& t = st.texture;
    Filter filter = minified ? st.minFilter : st.magFilter;
    float su = u * static_cast<float>(t.width) * 256.0f;
    float sv = v * static_cast<float>(t.height) * 256.0f;
    if (filter == Filter::Point) {
        int x = Wrapped(Fixed(su) >> 8, t.width, st.addressU);
        int y = Wrapped(Fixed(sv) >> 8, t.height, st.addressV);
        return t.texels[y * t.width + x];
    }
    std::int32_t iu = Fixed(su - 128.0f);
    std::int32_t iv = Fixed(sv - 128.0f);
    int x0 = Wrapped(iu >> 8, t.width, st.addressU);
    int x1 = Wrapped((iu >> 8) + 1, t.width, st.addressU);
    const std::uint32_t* r0 = t.texels + Wrapped(iv >> 8, t.height, st.addressV) * t.width;
    const std::uint32_t* r1 = t.texels + Wrapped((iv >> 8) + 1, t.height, st.addressV) * t.width;
    std::uint32_t fx = static_cast<std::uint32_t>(iu) & 255;
    std::uint32_t fy = static_cast<std::uint32_t>(iv) & 255;
    return Bilinear(r0[x0], r0[x1], r1[x0], r1[x1], fx, fy);
}

// The same sampling for a power-of-two texture with wrapping in both directions.
struct FastTexture {
    const std::uint32_t* texels = nullptr;
    int shift = 0;             // log2 width
    std::int32_t maskU = 0;    // width - 1
    std::int32_t maskV = 0;    // height - 1
    float scaleU = 0, scaleV = 0;

    explicit FastTexture(const Texture& t)
        : texels(t.texels), shift(std::countr_zero(static_cast<unsigned>(t.width))),
          maskU(t.width - 1), maskV(t.height - 1),
          scaleU(static_cast<float>(t.width) * 256.0f),
          scaleV(static_cast<float>(t.height) * 256.0f) {}
    RASTER_INLINE std::uint32_t Point(float u, float v) const {
        std::int32_t x = (Fixed(u * scaleU) >> 8) & maskU;
        std::int32_t y = (Fixed(v * scaleV) >> 8) & maskV;
        return texels[(y << shift) | x];
    }
    RASTER_INLINE std::uint32_t Linear(float u, float v) const {
        std::int32_t iu = Fixed(u * scaleU - 128.0f);
        std::int32_t iv = Fixed(v * scaleV - 128.0f);
        std::int32_t x0 = (iu >> 8) & maskU, x1 = ((iu >> 8) + 1) & maskU;
        const std::uint32_t* r0 = texels + (((iv >> 8) & maskV) << shift);
        const std::uint32_t* r1 = texels + ((((iv >> 8) + 1) & maskV) << shift);
        std::uint32_t fx = static_cast<std::uint32_t>(iu) & 255;
        std::uint32_t fy = static_cast<std::uint32_t>(iv) & 255;
        return Bilinear(r0[x0], r0[x1], r1[x0], r1[x1], fx, fy);
    }
};

// --- the general texture stages ------------------------------------------------------------

struct StageInputs {
    std::uint32_t diffuse, current, texture, factor, specular;
};

std::uint32_t ArgValue(std::uint8_t arg, const StageInputs& in, bool forAlpha) {
    std::uint32_t v = in.current;
    switch (arg & kArgSelectMask) {
    case kArgDiffuse: v = in.diffuse; break;
    case kArgTexture: v = in.texture; break;
    case kArgFactor: v = in.factor; break;
    case kArgSpecular: v = in.specular; break;
    default: break;
    }
    if ((arg & kArgComplement) != 0) v = ~v;
    if ((arg & kArgAlphaReplicate) != 0 && !forAlpha) v = (v >> 24) * 0x01010101u;
    return v;
}

std::uint32_t Saturate(std::uint32_t v) { return v < 255 ? v : 255; }

std::uint32_t CombineChannel(std::uint8_t op, std::uint32_t a, std::uint32_t b,
                             const StageInputs& in) {
    switch (op) {
    case kOpSelect2: return b;
    case kOpModulate: return Div255(a * b);
    case kOpModulate2x: return Saturate(Div255(2 * a * b));
    case kOpModulate4x: return Saturate(Div255(4 * a * b));
    case kOpAdd: return Saturate(a + b);
    case kOpAddSigned: {
        int s = static_cast<int>(a + b) - 128;
        return static_cast<std::uint32_t>(s < 0 ? 0 : (s > 255 ? 255 : s));
    }
    case kOpAddSigned2x: {
        int s = 2 * static_cast<int>(a + b) - 255;
        return static_cast<std::uint32_t>(s < 0 ? 0 : (s > 255 ? 255 : s));
    }
    case kOpSubtract: return a > b ? a - b : 0;
    case kOpAddSmooth: return Saturate(a + b - Div255(a * b));
    case kOpBlendDiffuseAlpha: return Div255(a * (in.diffuse >> 24) + b * (255 - (in.diffuse >> 24)));
    case kOpBlendTextureAlpha: return Div255(a * (in.texture >> 24) + b * (255 - (in.texture >> 24)));
    case kOpBlendFactorAlpha: return Div255(a * (in.factor >> 24) + b * (255 - (in.factor >> 24)));
    case kOpBlendTextureAlphaPm: return Saturate(a + Div255(b * (255 - (in.texture >> 24))));
    case kOpBlendCurrentAlpha: return Div255(a * (in.current >> 24) + b * (255 - (in.current >> 24)));
    default: return a; // SELECTARG1
    }
}

std::uint32_t Combine(std::uint8_t op, std::uint32_t a, std::uint32_t b, const StageInputs& in) {
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i)
        out |= CombineChannel(op, Channel(a, i), Channel(b, i), in) << (8 * i);
    return out;
}

// Runs the enabled stages. A stage without a texture reads D3DTA_TEXTURE as its input.
std::uint32_t RunStages(const State& s, std::uint32_t diffuse, std::uint32_t specular,
                        const float* uv, bool minified) {
    std::uint32_t current = diffuse;
    for (int i = 0; i < kStages; ++i) {
        const Stage& g = s.stages[i];
        if (g.colourOp == kOpDisable) break;
        std::uint32_t tex = current;
        if (g.texture.texels != nullptr) tex = Sample(g, uv[2 * i], uv[2 * i + 1], minified);
        StageInputs in = {diffuse, current, tex, s.textureFactor, specular};
        std::uint32_t rgb = Combine(g.colourOp, ArgValue(g.colourArg1, in, false),
                                    ArgValue(g.colourArg2, in, false), in);
        std::uint32_t alpha = current >> 24;
        if (g.alphaOp != kOpDisable) {
            alpha = CombineChannel(g.alphaOp, ArgValue(g.alphaArg1, in, true) >> 24,
                                   ArgValue(g.alphaArg2, in, true) >> 24, in);
        }
        current = (rgb & 0x00FFFFFFu) | (alpha << 24);
    }
    if (s.addSpecular) {
        std::uint32_t out = current & 0xFF000000u;
        for (int i = 0; i < 3; ++i)
            out |= Saturate(Channel(current, i) + Channel(specular, i)) << (8 * i);
        current = out;
    }
    return current;
}

// --- blending ------------------------------------------------------------------------------

std::uint32_t FactorFor(Factor f, int i, std::uint32_t src, std::uint32_t dst) {
    std::uint32_t sa = src >> 24, da = dst >> 24;
    switch (f) {
    case Factor::Zero: return 0;
    case Factor::One: return 255;
    case Factor::SrcColour: return Channel(src, i);
    case Factor::InvSrcColour: return 255 - Channel(src, i);
    case Factor::SrcAlpha: return sa;
    case Factor::InvSrcAlpha: return 255 - sa;
    case Factor::DestAlpha: return da;
    case Factor::InvDestAlpha: return 255 - da;
    case Factor::DestColour: return Channel(dst, i);
    case Factor::InvDestColour: return 255 - Channel(dst, i);
    case Factor::SrcAlphaSat: return i == 3 ? 255 : (sa < 255 - da ? sa : 255 - da);
    case Factor::BothSrcAlpha:
    case Factor::BothInvSrcAlpha: break;
    }
    return 255;
}

std::uint32_t BlendAny(const State& s, std::uint32_t src, std::uint32_t dst) {
    if (!s.blend) return src;
    Factor fs = s.srcBlend, fd = s.destBlend;
    // BOTH(INV)SRCALPHA set both factors from the source blend alone.
    if (fs == Factor::BothSrcAlpha) fs = Factor::SrcAlpha, fd = Factor::InvSrcAlpha;
    if (fs == Factor::BothInvSrcAlpha) fs = Factor::InvSrcAlpha, fd = Factor::SrcAlpha;
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t v = Channel(src, i) * FactorFor(fs, i, src, dst) +
                          Channel(dst, i) * FactorFor(fd, i, src, dst);
        out |= Saturate(Div255(v)) << (8 * i);
    }
    return out;
}

// --- the loops ---------------------------------------------------------------------------

constexpr bool Textured(ShadeMode s) { return s != ShadeMode::Diffuse && s != ShadeMode::Generic; }
constexpr bool Linear(ShadeMode s) { return s == ShadeMode::ModulateLinear || s == ShadeMode::BlendLinear; }

// Attribute slots a loop reads: all of them for the general stages, else the basic ones.
constexpr int Attributes(ShadeMode s) { return s == ShadeMode::Generic ? kAttrCount : kBasicAttrs; }

// Four colour slots (b, g, r, a) at the pixel as a 0xAARRGGBB word, each as ToByte.
RASTER_INLINE std::uint32_t ColourAt(const float* c, float w) {
#if defined(__SSE2__)
    __m128 x = _mm_mul_ps(_mm_loadu_ps(c), _mm_set1_ps(w));
    x = _mm_max_ps(x, _mm_setzero_ps()); // NaN becomes 0, as in ToByte
    x = _mm_min_ps(x, _mm_set1_ps(255.0f));
    __m128i i = _mm_cvttps_epi32(_mm_add_ps(x, _mm_set1_ps(0.5f)));
    i = _mm_packs_epi32(i, i);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(i, i)));
#else
    return Pack(ToByte(c[2] * w), ToByte(c[1] * w), ToByte(c[0] * w), ToByte(c[3] * w));
#endif
}

template <ShadeMode S>
RASTER_INLINE std::uint32_t Shade(const float* v, float w, const FastTexture& tex, const State& st,
                           bool minified) {
    if constexpr (S == ShadeMode::Diffuse) {
        return ColourAt(v + kDiffuse, w);
    } else if constexpr (S == ShadeMode::Generic) {
        float uv[4] = {v[kTex0] * w, v[kTex0 + 1] * w, v[kTex1] * w, v[kTex1 + 1] * w};
        return RunStages(st, ColourAt(v + kDiffuse, w), ColourAt(v + kSpecular, w), uv, minified);
    } else {
        float u = v[kTex0] * w, tv = v[kTex0 + 1] * w;
        std::uint32_t t = Linear(S) ? tex.Linear(u, tv) : tex.Point(u, tv);
        std::uint32_t ta = t >> 24;
        if constexpr (S == ShadeMode::BlendPoint || S == ShadeMode::BlendLinear) {
            return (Mix(ColourAt(v + kDiffuse, w), t, ta) & 0x00FFFFFFu) | (ta << 24);
        } else {
            std::uint32_t d = ColourAt(v + kDiffuse, w);
            return Pack(Div255(Channel(t, 2) * Channel(d, 2)), Div255(Channel(t, 1) * Channel(d, 1)),
                        Div255(Channel(t, 0) * Channel(d, 0)), ta);
        }
    }
}

// The pixels of one run: count pixels from colour/depth, attributes v0 at the first and
// changing by dx per pixel.
template <DepthMode D, ShadeMode S, BlendMode B, bool P>
RASTER_INLINE void Run(const State& st, const FastTexture& tex, bool minified, const float* v0,
                       const float* dx, std::uint32_t* colour, std::uint16_t* depth, int count) {
    constexpr int kN = Attributes(S);
    alignas(16) float v[kAttrCount];
    for (int k = 0; k < kN; ++k) v[k] = v0[k];
    auto step = [&] {
        for (int k = 0; k < kN; ++k) v[k] += dx[k];
    };
    for (int i = 0; i < count; ++i, step()) {
        std::uint32_t z = 0;
        if constexpr (D == DepthMode::LessEqualWrite) {
            z = DepthOf(v[kZ]);
            if (z > depth[i]) continue;
        } else if constexpr (D == DepthMode::Any) {
            z = DepthOf(v[kZ]);
            if (!Compare(st.depthFunc, z, depth[i])) continue;
        }
        float w = 1.0f;
        if constexpr (P) w = 1.0f / v[kQ];
        std::uint32_t src = Shade<S>(v, w, tex, st, minified);
        if constexpr (B == BlendMode::Any) {
            if (st.alphaTest && !Compare(st.alphaFunc, src >> 24, st.alphaRef)) continue;
        }
        if constexpr (D == DepthMode::LessEqualWrite) {
            depth[i] = static_cast<std::uint16_t>(z);
        } else if constexpr (D == DepthMode::Any) {
            if (st.depthWrite) depth[i] = static_cast<std::uint16_t>(z);
        }
        std::uint32_t& dst = colour[i];
        if constexpr (B == BlendMode::Replace) {
            dst = src;
        } else if constexpr (B == BlendMode::SrcAlpha) {
            dst = Mix(src, dst, src >> 24);
        } else {
            dst = BlendAny(st, src, dst);
        }
    }
}

FastTexture TextureFor(ShadeMode s, const State& st) {
    return FastTexture(Textured(s) ? st.stages[0].texture : Texture{nullptr, 1, 1});
}

template <DepthMode D, ShadeMode S, BlendMode B, bool P>
void SpanEntry(const SpanArgs& a) {
    const FastTexture tex = TextureFor(S, *a.state);
    Run<D, S, B, P>(*a.state, tex, a.minified, a.v, a.dx, a.colour, a.depth, a.count);
}

// Every row of a triangle: the span between the edges, attributes evaluated at its start.
template <DepthMode D, ShadeMode S, BlendMode B, bool P>
void TriangleEntry(TriangleArgs& t) {
    const State& st = *t.state;
    const FastTexture tex = TextureFor(S, st);
    const Target& target = *t.target;
    alignas(16) float v[kAttrCount];
    for (std::int64_t y = t.y0; y <= t.y1; ++y) {
        std::int64_t xs = std::max(t.x0, std::max(t.left[0].bound, t.left[1].bound));
        std::int64_t xe = std::min(t.x1, std::min(t.right[0].bound, t.right[1].bound));
        for (EdgeWalk& w : t.left) w.NextRow(true);
        for (EdgeWalk& w : t.right) w.NextRow(false);
        if (xs > xe) continue;
        const float ox = static_cast<float>(xs) - t.fx0, oy = static_cast<float>(y) - t.fy0;
        for (int k = 0; k < Attributes(S); ++k) v[k] = t.base[k] + t.gx[k] * ox + t.gy[k] * oy;
        std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * target.width + xs;
        Run<D, S, B, P>(st, tex, t.minified, v, t.gx, target.colour + at,
                        target.depth != nullptr ? target.depth + at : nullptr,
                        static_cast<int>(xe - xs + 1));
    }
}

template <DepthMode D, ShadeMode S, BlendMode B>
Loops PickP(bool p) {
    if (p) return {&SpanEntry<D, S, B, true>, &TriangleEntry<D, S, B, true>};
    return {&SpanEntry<D, S, B, false>, &TriangleEntry<D, S, B, false>};
}

template <DepthMode D, ShadeMode S>
Loops PickB(BlendMode b, bool p) {
    switch (b) {
    case BlendMode::Replace: return PickP<D, S, BlendMode::Replace>(p);
    case BlendMode::SrcAlpha: return PickP<D, S, BlendMode::SrcAlpha>(p);
    case BlendMode::Any: break;
    }
    return PickP<D, S, BlendMode::Any>(p);
}

template <DepthMode D>
Loops PickS(ShadeMode s, BlendMode b, bool p) {
    switch (s) {
    case ShadeMode::Diffuse: return PickB<D, ShadeMode::Diffuse>(b, p);
    case ShadeMode::ModulatePoint: return PickB<D, ShadeMode::ModulatePoint>(b, p);
    case ShadeMode::ModulateLinear: return PickB<D, ShadeMode::ModulateLinear>(b, p);
    case ShadeMode::BlendPoint: return PickB<D, ShadeMode::BlendPoint>(b, p);
    case ShadeMode::BlendLinear: return PickB<D, ShadeMode::BlendLinear>(b, p);
    case ShadeMode::Generic: break;
    }
    return PickB<D, ShadeMode::Generic>(b, p);
}

} // namespace

Loops PickLoops(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective) {
    switch (depth) {
    case DepthMode::Off: return PickS<DepthMode::Off>(shade, blend, perspective);
    case DepthMode::LessEqualWrite: return PickS<DepthMode::LessEqualWrite>(shade, blend, perspective);
    case DepthMode::Any: break;
    }
    return PickS<DepthMode::Any>(shade, blend, perspective);
}

} // namespace raster
