// The wide triangle and line loops, for the modes the program draws most. A triangle's
// pixels are walked row by row, their attributes stepped exactly as the one-pixel loops
// step them, and queued; the queue is then depth-tested, shaded and stored eight pixels at
// a time with AVX2. A line's pixels are depth-tested as they are walked and only those
// that pass are queued. Every lane does the arithmetic of the one-pixel loops in
// raster_span.cpp in the same order, so the pixels are identical; the loops are chosen
// only on a processor that has AVX2.
//
// Pixels of one triangle or line never overlap, so handling them later and eight at once
// changes nothing.
#include "platform/raster_span.h"

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#define RASTER_WIDE 1
#else
#define RASTER_WIDE 0
#endif

namespace raster {

std::size_t WrappedWords(int width, int height) {
    return (static_cast<std::size_t>(width) + 1) * (static_cast<std::size_t>(height) + 1);
}

void BuildWrapped(const Texture& t, std::uint32_t* wrapped) {
    const std::size_t w = static_cast<std::size_t>(t.width), pitch = w + 1;
    for (std::size_t y = 0; y <= static_cast<std::size_t>(t.height); ++y) {
        const std::uint32_t* from = t.texels + (y == static_cast<std::size_t>(t.height) ? 0 : y * w);
        std::uint32_t* to = wrapped + y * pitch;
        for (std::size_t x = 0; x < w; ++x) to[x] = from[x];
        to[w] = from[0];
    }
}

#if RASTER_WIDE

namespace {

// Everything in this block is compiled for AVX2 and runs only after the check in
// WideTriangle. It uses no library templates, whose shared copies might otherwise come out
// compiled for AVX2 and be called from elsewhere.
#pragma GCC push_options
#pragma GCC target("avx2")

#define WIDE_INLINE inline __attribute__((always_inline))

constexpr int kQueue = 512; // pixels gathered before shading

// Pixels waiting to be shaded: the eight basic attributes of each (kZ .. kTex0 + 1) and its
// offset in the target. Room for one group of sixteen of padding after the last.
struct Queue {
    alignas(32) float attrs[kQueue + 16][kBasicAttrs];
    std::ptrdiff_t at[kQueue + 16];
};

static_assert(kBasicAttrs == 8, "one pixel's attributes fill one AVX register");

// A power-of-two wrapping texture, as FastTexture in raster_span.cpp, in vector form.
struct WideTexture {
    const int* texels;
    const std::uint32_t* wrapped; // see BuildWrapped; null: texels are gathered one by one
    const std::uint32_t* below;   // wrapped one row on: where a sample's lower row starts
    __m256i shift, maskU, maskV;
    __m256 scaleU, scaleV;
};

WideTexture MakeTexture(const Texture& t) {
    WideTexture w;
    w.texels = reinterpret_cast<const int*>(t.texels);
    w.wrapped = t.wrapped;
    w.below = t.wrapped != nullptr ? t.wrapped + t.width + 1 : nullptr;
    w.shift = _mm256_set1_epi32(__builtin_ctz(static_cast<unsigned>(t.width)));
    w.maskU = _mm256_set1_epi32(t.width - 1);
    w.maskV = _mm256_set1_epi32(t.height - 1);
    w.scaleU = _mm256_set1_ps(static_cast<float>(t.width) * 256.0f);
    w.scaleV = _mm256_set1_ps(static_cast<float>(t.height) * 256.0f);
    return w;
}

// Eight pixels' attribute rows (a[i] = pixel i) to one register per attribute.
WIDE_INLINE void Transpose(const float (*a)[kBasicAttrs], __m256 out[kBasicAttrs]) {
    __m256 r[8];
    for (int i = 0; i < 4; ++i) {
        // Pixels i and i + 4 share a register: low half pixel i, high half pixel i + 4.
        r[2 * i] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(a[i])),
                                        _mm_load_ps(a[i + 4]), 1);
        r[2 * i + 1] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(a[i] + 4)),
                                            _mm_load_ps(a[i + 4] + 4), 1);
    }
    // r[0] = p0 a0-3 | p4 a0-3, r[1] = p0 a4-7 | p4 a4-7, r[2] = p1 ..., etc.
    for (int h = 0; h < 2; ++h) {
        __m256 t0 = _mm256_unpacklo_ps(r[h], r[2 + h]);
        __m256 t1 = _mm256_unpackhi_ps(r[h], r[2 + h]);
        __m256 t2 = _mm256_unpacklo_ps(r[4 + h], r[6 + h]);
        __m256 t3 = _mm256_unpackhi_ps(r[4 + h], r[6 + h]);
        out[4 * h + 0] = _mm256_shuffle_ps(t0, t2, 0x44);
        out[4 * h + 1] = _mm256_shuffle_ps(t0, t2, 0xEE);
        out[4 * h + 2] = _mm256_shuffle_ps(t1, t3, 0x44);
        out[4 * h + 3] = _mm256_shuffle_ps(t1, t3, 0xEE);
    }
    // Lanes now run p0 p1 p2 p3 | p4 p5 p6 p7 in every register.
}

// ColourAt for one channel: x w clamped to 0..255 (NaN to 0), rounded half up.
WIDE_INLINE __m256i Channel8(__m256 c, __m256 w) {
    __m256 x = _mm256_mul_ps(c, w);
    x = _mm256_max_ps(x, _mm256_setzero_ps());
    x = _mm256_min_ps(x, _mm256_set1_ps(255.0f));
    return _mm256_cvttps_epi32(_mm256_add_ps(x, _mm256_set1_ps(0.5f)));
}

// The diffuse colour of eight pixels as 0xAARRGGBB words.
WIDE_INLINE __m256i Diffuse8(const __m256* v, __m256 w) {
    __m256i b = Channel8(v[kDiffuse], w);
    __m256i g = Channel8(v[kDiffuse + 1], w);
    __m256i r = Channel8(v[kDiffuse + 2], w);
    __m256i a = Channel8(v[kDiffuse + 3], w);
    return _mm256_or_si256(_mm256_or_si256(b, _mm256_slli_epi32(g, 8)),
                           _mm256_or_si256(_mm256_slli_epi32(r, 16), _mm256_slli_epi32(a, 24)));
}

// Words to 16-bit channels: lo holds pixels 0, 1 | 4, 5 and hi pixels 2, 3 | 6, 7, which
// _mm256_packus_epi16(lo, hi) puts back in order.
struct Split {
    __m256i lo, hi;
};

WIDE_INLINE Split Widen(__m256i words) {
    const __m256i zero = _mm256_setzero_si256();
    return {_mm256_unpacklo_epi8(words, zero), _mm256_unpackhi_epi8(words, zero)};
}

WIDE_INLINE __m256i Narrow(Split s) { return _mm256_packus_epi16(s.lo, s.hi); }

// A per-pixel weight (one value per 32-bit lane) on all four 16-bit channels of its pixel.
WIDE_INLINE Split Spread(__m256i w) {
    __m256i pair = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    return {_mm256_unpacklo_epi32(pair, pair), _mm256_unpackhi_epi32(pair, pair)};
}

// Per channel (a (256 - f) + b f) / 256, truncated: Lerp and Bilinear's step. The sum is at
// most 255 x 256, so 16 bits hold it.
WIDE_INLINE __m256i Lerp16(__m256i a, __m256i b, __m256i f) {
    __m256i g = _mm256_sub_epi16(_mm256_set1_epi16(256), f);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, g), _mm256_mullo_epi16(b, f)), 8);
}

// Per channel Div255(a w + b (255 - w)), as Mix: (x + 128 + (x + 128) / 256) / 256 with
// x at most 255 x 255.
WIDE_INLINE __m256i Mix16(__m256i a, __m256i b, __m256i w) {
    __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(a, w),
                                 _mm256_mullo_epi16(b, _mm256_sub_epi16(_mm256_set1_epi16(255), w)));
    x = _mm256_add_epi16(x, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

WIDE_INLINE Split MixWords(__m256i a, __m256i b, __m256i w) {
    Split sa = Widen(a), sb = Widen(b), sw = Spread(w);
    return {Mix16(sa.lo, sb.lo, sw.lo), Mix16(sa.hi, sb.hi, sw.hi)};
}

// The two rows of two texels that pixel `at` filters, as one 128-bit value: the upper
// row's texels x, x + 1 in the low half, the lower row's in the high half.
// The offset is unsigned so that it addresses without being widened first.
WIDE_INLINE __m128i Rows4(const WideTexture& t, std::uint32_t at) {
    const __m128d upper = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(t.wrapped + at)));
    return _mm_castpd_si128(_mm_loadh_pd(upper, reinterpret_cast<const double*>(t.below + at)));
}

// Bilinear filtering of pixels k (low half) and k + 4 (high half): each row's texels
// shuffled into (left, right) pairs of 16-bit channels, so that one multiply-add by the
// pixel's (256 - fx, fx) weighs and sums each pair; the two rows' results, paired the same
// way, make the vertical step. Every step truncates as Lerp does. Channels in 32-bit lanes.
template <int k>
WIDE_INLINE __m256i Filter2(const WideTexture& t, const std::uint32_t* at,
                            __m256i wx, __m256i wy) {
    // Bytes b g r a of the left texel (0-3) and the right one (4-7) of a row to the pairs
    // (left, right) of each channel, zero-extended: upper row bytes 0-7, lower row 8-15.
    const __m256i upper = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,
                                           0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
    const __m256i lower = _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1,
                                           8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
    const __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(Rows4(t, at[k])), Rows4(t, at[k + 4]), 1);
    const __m256i kx = _mm256_shuffle_epi32(wx, k * 0x55);
    const __m256i top = _mm256_madd_epi16(_mm256_shuffle_epi8(both, upper), kx);
    const __m256i bottom = _mm256_madd_epi16(_mm256_shuffle_epi8(both, lower), kx);
    // top / 256 in the low 16 bits of each lane, bottom / 256 in the high 16 bits.
    const __m256i pair = _mm256_blend_epi16(_mm256_srli_epi32(top, 8), _mm256_slli_epi32(bottom, 8), 0xAA);
    return _mm256_srli_epi32(_mm256_madd_epi16(pair, _mm256_shuffle_epi32(wy, k * 0x55)), 8);
}

// Where eight pixels sample the wrapped texels, and how they weigh them.
struct Spots {
    __m256i at;     // upper left texel: y x pitch + x, with pitch = width + 1
    __m256i wx, wy; // weights (256 - f, f) as a pair of 16-bit values in each 32-bit lane
};

WIDE_INLINE Spots SpotsOf(const WideTexture& t, __m256i iu, __m256i iv) {
    const __m256i x = _mm256_and_si256(_mm256_srai_epi32(iu, 8), t.maskU);
    const __m256i y = _mm256_and_si256(_mm256_srai_epi32(iv, 8), t.maskV);
    const __m256i byte = _mm256_set1_epi32(255), whole = _mm256_set1_epi32(256);
    const __m256i fx = _mm256_and_si256(iu, byte), fy = _mm256_and_si256(iv, byte);
    return {_mm256_add_epi32(_mm256_add_epi32(_mm256_sllv_epi32(y, t.shift), y), x),
            _mm256_or_si256(_mm256_sub_epi32(whole, fx), _mm256_slli_epi32(fx, 16)),
            _mm256_or_si256(_mm256_sub_epi32(whole, fy), _mm256_slli_epi32(fy, 16))};
}

// FastTexture::Linear for eight pixels from the wrapped texels, as words.
WIDE_INLINE __m256i FilterWrapped8(const WideTexture& t, const std::uint32_t* at, __m256i wx, __m256i wy) {
    // Pixels 0, 1 | 4, 5 and 2, 3 | 6, 7, as Widen splits them.
    return Narrow({_mm256_packus_epi32(Filter2<0>(t, at, wx, wy), Filter2<1>(t, at, wx, wy)),
                   _mm256_packus_epi32(Filter2<2>(t, at, wx, wy), Filter2<3>(t, at, wx, wy))});
}

// Per channel Div255(diffuse x texAlpha + texel x (255 - texAlpha)), with the texel's own
// alpha, for eight pixels' words: Mix as one multiply-add of (diffuse, texel) byte pairs,
// taken less 128 to multiply as signed bytes, by the unsigned weights (texAlpha,
// 255 - texAlpha). The pairs' sum lies within +-255 x 128, so nothing saturates, and adding
// 255 x 128 back and Div255's 128 is flipping the top bit. The alpha channel is weighed
// (0, 255), which gives the texel's alpha exactly.
WIDE_INLINE __m256i MixTexel8(__m256i diffuse, __m256i texel) {
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i lo = _mm256_xor_si256(_mm256_unpacklo_epi8(diffuse, texel), flip); // pixels 0, 1 | 4, 5
    const __m256i hi = _mm256_xor_si256(_mm256_unpackhi_epi8(diffuse, texel), flip); // pixels 2, 3 | 6, 7
    const __m256i alphaLo = _mm256_setr_epi8(3, 3, 3, 3, 3, 3, -1, -1, 7, 7, 7, 7, 7, 7, -1, -1,
                                             3, 3, 3, 3, 3, 3, -1, -1, 7, 7, 7, 7, 7, 7, -1, -1);
    const __m256i alphaHi = _mm256_setr_epi8(11, 11, 11, 11, 11, 11, -1, -1, 15, 15, 15, 15, 15, 15, -1, -1,
                                             11, 11, 11, 11, 11, 11, -1, -1, 15, 15, 15, 15, 15, 15, -1, -1);
    const __m256i invert = _mm256_set1_epi16(static_cast<short>(0xFF00));
    const __m256i top = _mm256_set1_epi16(static_cast<short>(0x8000));
    __m256i xlo = _mm256_xor_si256(
        _mm256_maddubs_epi16(_mm256_xor_si256(_mm256_shuffle_epi8(texel, alphaLo), invert), lo), top);
    __m256i xhi = _mm256_xor_si256(
        _mm256_maddubs_epi16(_mm256_xor_si256(_mm256_shuffle_epi8(texel, alphaHi), invert), hi), top);
    xlo = _mm256_srli_epi16(_mm256_add_epi16(xlo, _mm256_srli_epi16(xlo, 8)), 8);
    xhi = _mm256_srli_epi16(_mm256_add_epi16(xhi, _mm256_srli_epi16(xhi, 8)), 8);
    return _mm256_packus_epi16(xlo, xhi);
}

// The texel coordinates of eight pixels, as FastTexture::Linear takes them.
WIDE_INLINE __m256i TexelCoord(__m256 c, __m256 scale) {
    return _mm256_cvtps_epi32(_mm256_sub_ps(_mm256_mul_ps(c, scale), _mm256_set1_ps(128.0f)));
}

// FastTexture::Linear for eight pixels, then diffuse x texAlpha + texture x (1 - texAlpha)
// with the texture's alpha: the BlendLinear shade.
WIDE_INLINE __m256i BlendLinear8(const WideTexture& t, __m256 u, __m256 v, __m256i diffuse) {
    const __m256i iu = TexelCoord(u, t.scaleU), iv = TexelCoord(v, t.scaleV);
    if (t.wrapped != nullptr) {
        const Spots spots = SpotsOf(t, iu, iv);
        alignas(32) std::uint32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), spots.at);
        return MixTexel8(diffuse, FilterWrapped8(t, at, spots.wx, spots.wy));
    }
    const __m256i one = _mm256_set1_epi32(1);
    __m256i cu = _mm256_srai_epi32(iu, 8), cv = _mm256_srai_epi32(iv, 8);
    __m256i x0 = _mm256_and_si256(cu, t.maskU);
    __m256i x1 = _mm256_and_si256(_mm256_add_epi32(cu, one), t.maskU);
    __m256i r0 = _mm256_sllv_epi32(_mm256_and_si256(cv, t.maskV), t.shift);
    __m256i r1 = _mm256_sllv_epi32(_mm256_and_si256(_mm256_add_epi32(cv, one), t.maskV), t.shift);
    Split t00 = Widen(_mm256_i32gather_epi32(t.texels, _mm256_or_si256(r0, x0), 4));
    Split t10 = Widen(_mm256_i32gather_epi32(t.texels, _mm256_or_si256(r0, x1), 4));
    Split t01 = Widen(_mm256_i32gather_epi32(t.texels, _mm256_or_si256(r1, x0), 4));
    Split t11 = Widen(_mm256_i32gather_epi32(t.texels, _mm256_or_si256(r1, x1), 4));
    const __m256i byte = _mm256_set1_epi32(255);
    Split fx = Spread(_mm256_and_si256(iu, byte)), fy = Spread(_mm256_and_si256(iv, byte));
    Split texel = {Lerp16(Lerp16(t00.lo, t10.lo, fx.lo), Lerp16(t01.lo, t11.lo, fx.lo), fy.lo),
                   Lerp16(Lerp16(t00.hi, t10.hi, fx.hi), Lerp16(t01.hi, t11.hi, fx.hi), fy.hi)};
    return MixTexel8(diffuse, Narrow(texel));
}

// DepthOf for eight pixels: max and min take their second operand for NaN, as the
// comparisons there do.
WIDE_INLINE __m256i Depth8(__m256 z) {
    z = _mm256_min_ps(_mm256_max_ps(z, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    z = _mm256_add_ps(_mm256_mul_ps(z, _mm256_set1_ps(65535.0f)), _mm256_set1_ps(0.5f));
    return _mm256_cvttps_epi32(z);
}

template <typename T>
WIDE_INLINE __m256i Load8(const T* base, const std::ptrdiff_t* at) {
    return _mm256_setr_epi32(static_cast<int>(base[at[0]]), static_cast<int>(base[at[1]]),
                             static_cast<int>(base[at[2]]), static_cast<int>(base[at[3]]),
                             static_cast<int>(base[at[4]]), static_cast<int>(base[at[5]]),
                             static_cast<int>(base[at[6]]), static_cast<int>(base[at[7]]));
}

template <typename T>
WIDE_INLINE void Store8(T* base, const std::ptrdiff_t* at, __m256i values) {
    alignas(32) std::uint32_t out[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(out), values);
    for (int i = 0; i < 8; ++i) base[at[i]] = static_cast<T>(out[i]);
}

// Eight queued pixels shaded, blended and stored. Their depth test was made, and their
// depth written, as they were queued: every pixel here has passed.
template <ShadeMode S, BlendMode B, bool P>
WIDE_INLINE void ShadeGroup(const float (*a)[kBasicAttrs], const std::ptrdiff_t* at,
                            const Target& target, const WideTexture& tex) {
    __m256 v[kBasicAttrs];
    Transpose(a, v);
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 w = P ? _mm256_div_ps(one, v[kQ]) : one;
    __m256i src = Diffuse8(v, w);
    if constexpr (S == ShadeMode::BlendLinear) {
        src = BlendLinear8(tex, _mm256_mul_ps(v[kTex0], w), _mm256_mul_ps(v[kTex0 + 1], w), src);
    }
    if constexpr (B == BlendMode::SrcAlpha) {
        const __m256i dst = Load8(target.colour, at);
        src = Narrow(MixWords(src, dst, _mm256_srli_epi32(src, 24)));
    }
    // Stored in lane order, so that of one pixel queued twice the later colour stays.
    Store8(target.colour, at, src);
}

// Whether the first `live` of eight offsets differ from one another. Only their low 32
// bits are compared, which can find a pair too many but never one too few.
WIDE_INLINE bool Distinct(const std::ptrdiff_t* at, int live) {
    const __m256i even = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i lo = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), even);
    const __m256i hi = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 4)), even);
    const __m256i x = _mm256_permute2x128_si256(lo, hi, 0x20);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i alive = _mm256_cmpgt_epi32(_mm256_set1_epi32(live), lanes);
    __m256i same = _mm256_setzero_si256();
    // Every pair lies 1 to 4 lanes apart one way round or the other.
    for (int r = 1; r <= 4; ++r) {
        const __m256i turn = _mm256_and_si256(_mm256_add_epi32(lanes, _mm256_set1_epi32(r)),
                                              _mm256_set1_epi32(7));
        const __m256i both = _mm256_and_si256(alive, _mm256_permutevar8x32_epi32(alive, turn));
        same = _mm256_or_si256(same, _mm256_and_si256(
                                         both, _mm256_cmpeq_epi32(x, _mm256_permutevar8x32_epi32(x, turn))));
    }
    return _mm256_testz_si256(same, same);
}

// The textured Replace shade for whole groups (padded as ShadeQueue pads them), in two
// passes over a stretch of groups: first every group's diffuse colour, texel offsets and
// weights, then the texel reads, filtering and stores. The reads of one group then wait on
// nothing but those offsets, so that many groups' reads are under way at once instead of
// each waiting at the end of its own chain of divide, converts and address arithmetic.
template <bool P>
WIDE_INLINE void ShadeWrapped(const Queue& q, int n, const Target& target, const WideTexture& tex) {
    constexpr int kStretch = 16; // groups
    struct alignas(32) Staged {
        std::uint32_t at[8];
        __m256i wx, wy, diffuse;
    };
    Staged staged[kStretch];
    for (int i = 0; i < n; i += 8 * kStretch) {
        const int groups = (n - i + 7) / 8 < kStretch ? (n - i + 7) / 8 : kStretch;
        for (int g = 0; g < groups; ++g) {
            __m256 v[kBasicAttrs];
            Transpose(q.attrs + i + 8 * g, v);
            const __m256 one = _mm256_set1_ps(1.0f);
            const __m256 w = P ? _mm256_div_ps(one, v[kQ]) : one;
            staged[g].diffuse = Diffuse8(v, w);
            const Spots spots = SpotsOf(tex, TexelCoord(_mm256_mul_ps(v[kTex0], w), tex.scaleU),
                                        TexelCoord(_mm256_mul_ps(v[kTex0 + 1], w), tex.scaleV));
            _mm256_store_si256(reinterpret_cast<__m256i*>(staged[g].at), spots.at);
            staged[g].wx = spots.wx;
            staged[g].wy = spots.wy;
        }
        for (int g = 0; g < groups; ++g) {
            const Staged& s = staged[g];
            const __m256i src = MixTexel8(s.diffuse, FilterWrapped8(tex, s.at, s.wx, s.wy));
            Store8(target.colour, q.at + i + 8 * g, src);
        }
    }
}

// ShadeWrapped sixteen pixels to a group, on processors with AVX-512: the same lanes'
// arithmetic in registers twice as wide. A 128-bit lane of a filtering step holds pixels
// k, k + 4, k + 8 and k + 12 where Filter2's two hold k and k + 4; everything else is
// lane by lane. Multiplies and adds are never fused here (see the build), so every
// rounding is the eight-lane loop's.
// GCC 12's AVX-512 headers make their "undefined" lanes from a variable set to itself,
// which its own -Wuninitialized then reports at every use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define WIDE512 __attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl")))
#define WIDE512_INLINE inline __attribute__((always_inline, target("avx2,avx512f,avx512bw,avx512dq,avx512vl")))

WIDE512_INLINE __m512i Join(__m256i lo, __m256i hi) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
}

WIDE512_INLINE __m512i Channel16(__m512 c, __m512 w) {
    __m512 x = _mm512_mul_ps(c, w);
    x = _mm512_max_ps(x, _mm512_setzero_ps());
    x = _mm512_min_ps(x, _mm512_set1_ps(255.0f));
    return _mm512_cvttps_epi32(_mm512_add_ps(x, _mm512_set1_ps(0.5f)));
}

WIDE512_INLINE __m512i TexelCoord16(__m512 c, __m512 scale) {
    return _mm512_cvtps_epi32(_mm512_sub_ps(_mm512_mul_ps(c, scale), _mm512_set1_ps(128.0f)));
}

template <int k>
WIDE512_INLINE __m512i Filter4(const WideTexture& t, const std::uint32_t* at, __m512i wx, __m512i wy) {
    const __m512i upper = _mm512_broadcast_i32x4(_mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1));
    const __m512i lower = _mm512_broadcast_i32x4(_mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1));
    const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(Rows4(t, at[k])), Rows4(t, at[k + 4]), 1);
    const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(Rows4(t, at[k + 8])), Rows4(t, at[k + 12]), 1);
    const __m512i both = Join(low, high);
    const __m512i kx = _mm512_shuffle_epi32(wx, static_cast<_MM_PERM_ENUM>(k * 0x55));
    const __m512i top = _mm512_madd_epi16(_mm512_shuffle_epi8(both, upper), kx);
    const __m512i bottom = _mm512_madd_epi16(_mm512_shuffle_epi8(both, lower), kx);
    const __m512i pair = _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srli_epi32(top, 8), _mm512_slli_epi32(bottom, 8));
    return _mm512_srli_epi32(_mm512_madd_epi16(pair, _mm512_shuffle_epi32(wy, static_cast<_MM_PERM_ENUM>(k * 0x55))), 8);
}

WIDE512_INLINE __m512i MixTexel16(__m512i diffuse, __m512i texel) {
    const __m512i flip = _mm512_set1_epi8(static_cast<char>(0x80));
    const __m512i lo = _mm512_xor_si512(_mm512_unpacklo_epi8(diffuse, texel), flip);
    const __m512i hi = _mm512_xor_si512(_mm512_unpackhi_epi8(diffuse, texel), flip);
    const __m512i alphaLo = _mm512_broadcast_i32x4(_mm_setr_epi8(3, 3, 3, 3, 3, 3, -1, -1, 7, 7, 7, 7, 7, 7, -1, -1));
    const __m512i alphaHi = _mm512_broadcast_i32x4(_mm_setr_epi8(11, 11, 11, 11, 11, 11, -1, -1, 15, 15, 15, 15, 15, 15, -1, -1));
    const __m512i invert = _mm512_set1_epi16(static_cast<short>(0xFF00));
    const __m512i top = _mm512_set1_epi16(static_cast<short>(0x8000));
    __m512i xlo = _mm512_xor_si512(
        _mm512_maddubs_epi16(_mm512_xor_si512(_mm512_shuffle_epi8(texel, alphaLo), invert), lo), top);
    __m512i xhi = _mm512_xor_si512(
        _mm512_maddubs_epi16(_mm512_xor_si512(_mm512_shuffle_epi8(texel, alphaHi), invert), hi), top);
    xlo = _mm512_srli_epi16(_mm512_add_epi16(xlo, _mm512_srli_epi16(xlo, 8)), 8);
    xhi = _mm512_srli_epi16(_mm512_add_epi16(xhi, _mm512_srli_epi16(xhi, 8)), 8);
    return _mm512_packus_epi16(xlo, xhi);
}

// Sixteen pixels' attribute rows to one register per attribute, lanes in pixel order, in
// three steps of two-register permutes. Row pairs load whole: register j holds pixels 2j
// and 2j + 1. Each step trades one bit of a pixel's register number for one bit of its
// attribute's lane (pixel bits p3..p0, attribute bits a2..a0):
//   loaded: register (p3 p2 p1), lane (p0 a2 a1 a0)
//   first:  register (a2 p2 p1), lane (p0 p3 a1 a0)
//   second: register (a2 a1 p1), lane (p0 p3 p2 a0)
//   third:  register (a2 a1 a0), lane (p3 p2 p1 p0)
// An index of 16 or more picks from the second register of a pair. Depth is not made
// (out[kZ] is zero): shading does not read it. Half the shuffles of two eight-pixel
// transposes joined.
struct alignas(64) TransposeSteps {
    int first[2][16], second[2][16], third[2][16];
};

constexpr TransposeSteps MakeTransposeSteps() {
    TransposeSteps t{};
    for (int hi = 0; hi < 2; ++hi) {
        for (int l = 0; l < 16; ++l) {
            const int b3 = (l >> 3) & 1, b2 = (l >> 2) & 1, b1 = (l >> 1) & 1, b0 = l & 1;
            // first: out lane (p0 p3 a1 a0), a2 = hi; from lane (p0 a2 a1 a0) of pair p3.
            t.first[hi][l] = b2 * 16 + (b3 << 3 | hi << 2 | b1 << 1 | b0);
            // second: out lane (p0 p3 p2 a0), a1 = hi; from lane (p0 p3 a1 a0) of pair p2.
            t.second[hi][l] = b1 * 16 + (b3 << 3 | b2 << 2 | hi << 1 | b0);
            // third: out lane (p3 p2 p1 p0), a0 = hi; from lane (p0 p3 p2 a0) of pair p1.
            t.third[hi][l] = b1 * 16 + (b0 << 3 | b3 << 2 | b2 << 1 | hi);
        }
    }
    return t;
}

constexpr TransposeSteps kTransposeSteps = MakeTransposeSteps();

WIDE512_INLINE void Transpose16(const float (*a)[kBasicAttrs], __m512 out[kBasicAttrs]) {
    const TransposeSteps& t = kTransposeSteps;
    const __m512i f0 = _mm512_load_si512(t.first[0]), f1 = _mm512_load_si512(t.first[1]);
    const __m512i s0 = _mm512_load_si512(t.second[0]), s1 = _mm512_load_si512(t.second[1]);
    const __m512i t0 = _mm512_load_si512(t.third[0]), t1 = _mm512_load_si512(t.third[1]);
    __m512 r[8], u[8];
    for (int j = 0; j < 8; ++j) r[j] = _mm512_loadu_ps(a[2 * j]);
    for (int j = 0; j < 4; ++j) {
        u[j] = _mm512_permutex2var_ps(r[j], f0, r[j + 4]);
        u[j + 4] = _mm512_permutex2var_ps(r[j], f1, r[j + 4]);
    }
    for (int h = 0; h < 8; h += 4) {
        for (int j = 0; j < 2; ++j) {
            r[h + j] = _mm512_permutex2var_ps(u[h + j], s0, u[h + j + 2]);
            r[h + j + 2] = _mm512_permutex2var_ps(u[h + j], s1, u[h + j + 2]);
        }
    }
    out[kZ] = _mm512_setzero_ps();
    for (int j = 0; j < 8; j += 2) {
        if (j != kZ) out[j] = _mm512_permutex2var_ps(r[j], t0, r[j + 1]);
        out[j + 1] = _mm512_permutex2var_ps(r[j], t1, r[j + 1]);
    }
}

template <bool P>
WIDE512 void ShadeWrapped16(const Queue& q, int n, const Target& target, const WideTexture& tex) {
    constexpr int kStretch = 8; // groups of sixteen
    struct alignas(64) Staged {
        std::uint32_t at[16];
        __m512i wx, wy, diffuse;
    };
    Staged staged[kStretch];
    const __m512i shift = _mm512_broadcast_i32x8(tex.shift), maskU = _mm512_broadcast_i32x8(tex.maskU);
    const __m512i maskV = _mm512_broadcast_i32x8(tex.maskV);
    const __m512 scaleU = _mm512_broadcast_f32x8(tex.scaleU), scaleV = _mm512_broadcast_f32x8(tex.scaleV);
    for (int i = 0; i < n; i += 16 * kStretch) {
        const int groups = (n - i + 15) / 16 < kStretch ? (n - i + 15) / 16 : kStretch;
        for (int g = 0; g < groups; ++g) {
            __m512 v[kBasicAttrs];
            Transpose16(q.attrs + i + 16 * g, v);
            const __m512 one = _mm512_set1_ps(1.0f);
            const __m512 w = P ? _mm512_div_ps(one, v[kQ]) : one;
            const __m512i b = Channel16(v[kDiffuse], w), gr = Channel16(v[kDiffuse + 1], w);
            const __m512i r = Channel16(v[kDiffuse + 2], w), al = Channel16(v[kDiffuse + 3], w);
            staged[g].diffuse = _mm512_or_si512(_mm512_or_si512(b, _mm512_slli_epi32(gr, 8)),
                                                _mm512_or_si512(_mm512_slli_epi32(r, 16), _mm512_slli_epi32(al, 24)));
            const __m512i iu = TexelCoord16(_mm512_mul_ps(v[kTex0], w), scaleU);
            const __m512i iv = TexelCoord16(_mm512_mul_ps(v[kTex0 + 1], w), scaleV);
            const __m512i x = _mm512_and_si512(_mm512_srai_epi32(iu, 8), maskU);
            const __m512i y = _mm512_and_si512(_mm512_srai_epi32(iv, 8), maskV);
            const __m512i byte = _mm512_set1_epi32(255), whole = _mm512_set1_epi32(256);
            const __m512i fx = _mm512_and_si512(iu, byte), fy = _mm512_and_si512(iv, byte);
            _mm512_store_si512(staged[g].at, _mm512_add_epi32(_mm512_add_epi32(_mm512_sllv_epi32(y, shift), y), x));
            staged[g].wx = _mm512_or_si512(_mm512_sub_epi32(whole, fx), _mm512_slli_epi32(fx, 16));
            staged[g].wy = _mm512_or_si512(_mm512_sub_epi32(whole, fy), _mm512_slli_epi32(fy, 16));
        }
        for (int g = 0; g < groups; ++g) {
            const Staged& s = staged[g];
            const __m512i texel = _mm512_packus_epi16(
                _mm512_packus_epi32(Filter4<0>(tex, s.at, s.wx, s.wy), Filter4<1>(tex, s.at, s.wx, s.wy)),
                _mm512_packus_epi32(Filter4<2>(tex, s.at, s.wx, s.wy), Filter4<3>(tex, s.at, s.wx, s.wy)));
            alignas(64) std::uint32_t out[16];
            _mm512_store_si512(out, MixTexel16(s.diffuse, texel));
            const std::ptrdiff_t* at = q.at + i + 16 * g;
            for (int k = 0; k < 16; ++k) target.colour[at[k]] = out[k];
        }
    }
}

#pragma GCC diagnostic pop

bool CanShadeSixteen() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
}

// Whether ShadeQueue takes sixteen pixels to a group (see ShadeSixteen).
bool shadeSixteen = CanShadeSixteen();

// Shades the n queued pixels. The last group is filled up with copies of the last pixel,
// which compute and store the same value again (a group reads every colour before any
// store).
//
// A queue that holds several triangles' pixels (mixed) may hold one pixel twice. Replace
// stores a group's lanes in order, so the later colour stays; a blend reads the colour
// under it, so a group in which that happens is blended one pixel at a time, in order.
template <ShadeMode S, BlendMode B, bool P>
void ShadeQueue(Queue& q, int n, const Target& target, const WideTexture& tex, bool mixed) {
    const __m256 last = _mm256_load_ps(q.attrs[n - 1]);
    if constexpr (S == ShadeMode::BlendLinear && B == BlendMode::Replace) {
        if (tex.wrapped != nullptr && shadeSixteen) {
            for (int i = n; (i & 15) != 0; ++i) {
                _mm256_store_ps(q.attrs[i], last);
                q.at[i] = q.at[n - 1];
            }
            ShadeWrapped16<P>(q, n, target, tex);
            return;
        }
    }
    for (int i = n; (i & 7) != 0; ++i) {
        _mm256_store_ps(q.attrs[i], last);
        q.at[i] = q.at[n - 1];
    }
    if constexpr (S == ShadeMode::BlendLinear && B == BlendMode::Replace) {
        if (tex.wrapped != nullptr) {
            ShadeWrapped<P>(q, n, target, tex);
            return;
        }
    }
    for (int i = 0; i < n; i += 8) {
        const int live = n - i < 8 ? n - i : 8;
        if (B == BlendMode::Replace || !mixed || Distinct(q.at + i, live)) {
            ShadeGroup<S, B, P>(q.attrs + i, q.at + i, target, tex);
            continue;
        }
        for (int k = i; k < i + live; ++k) {
            alignas(32) float one[8][kBasicAttrs];
            std::ptrdiff_t at[8];
            const __m256 v = _mm256_load_ps(q.attrs[k]);
            for (int j = 0; j < 8; ++j) {
                _mm256_store_ps(one[j], v);
                at[j] = q.at[k];
            }
            ShadeGroup<S, B, P>(one, at, target, tex);
        }
    }
}

// Depth as DepthOf in raster_span.cpp, in the low lane, without branches: max and min
// take their second operand for NaN, as the comparisons there do.
WIDE_INLINE __m128i Depth16(__m256 v) {
    __m128 z = _mm_max_ss(_mm256_castps256_ps128(v), _mm_setzero_ps());
    z = _mm_min_ss(z, _mm_set_ss(1.0f));
    z = _mm_add_ss(_mm_mul_ss(z, _mm_set_ss(65535.0f)), _mm_set_ss(0.5f));
    return _mm_cvttps_epi32(z);
}

// Whether a pixel at depth z passes LESSEQUAL against the stored depth, which it then
// replaces: the lesser of the two is written back either way, so nothing branches.
WIDE_INLINE int TestAndWrite(std::uint16_t& stored, __m128i z) {
    const __m128i old = _mm_cvtsi32_si128(stored);
    stored = static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_min_epi32(z, old)));
    return _mm_cvtsi128_si32(_mm_cmpgt_epi32(z, old)) + 1;
}

// The depth slot of eight pixels' attributes (pixel j in v[j]) as one register.
WIDE_INLINE __m256 DepthSlots(const __m256* v) {
    const __m256 t0 = _mm256_unpacklo_ps(v[0], v[1]);
    const __m256 t1 = _mm256_unpacklo_ps(v[2], v[3]);
    const __m256 t2 = _mm256_unpacklo_ps(v[4], v[5]);
    const __m256 t3 = _mm256_unpacklo_ps(v[6], v[7]);
    return _mm256_permute2f128_ps(_mm256_shuffle_ps(t0, t1, 0x44), _mm256_shuffle_ps(t2, t3, 0x44), 0x20);
}

// Read eight from kDead + 8 - live, lanes live and on: a depth above any stored one (and
// above 65535), so that they fail and keep what is stored; one load instead of working it out.
alignas(64) constexpr std::int32_t kDead[16] = {0, 0, 0, 0, 0, 0, 0, 0,
                                                0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF,
                                                0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};

// LESSEQUAL for the first `live` (1 to 8) of eight neighbouring pixels of a row, at depths
// z, against the stored depths at `at`, which take the lesser of the two: the bits of those
// that pass. The other lanes read as failing and leave their stored depths as they were.
WIDE_INLINE unsigned TestEight(std::uint16_t* at, __m256 z, int live) {
    const __m256i dead = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kDead + 8 - live));
    const __m256i d = _mm256_or_si256(Depth8(z), dead);
    const __m256i old = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
    const __m256i low = _mm256_min_epi32(d, old);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                     _mm_packus_epi32(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1)));
    const unsigned fail = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(d, old))));
    return ~fail & 0xFFu;
}

// TestEight for four pixels (live 1 to 4), depths in the low lanes of z.
WIDE_INLINE unsigned TestFour(std::uint16_t* at, __m128 z, int live) {
    const __m128i dead = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kDead + 8 - live));
    z = _mm_min_ps(_mm_max_ps(z, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    z = _mm_add_ps(_mm_mul_ps(z, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
    const __m128i d = _mm_or_si128(_mm_cvttps_epi32(z), dead);
    const __m128i old = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)));
    const __m128i low = _mm_min_epi32(d, old);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packus_epi32(low, low));
    const unsigned fail = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(d, old))));
    return ~fail & 0xFu;
}

// The same where the eight would run past the end of the buffer: only the live ones are
// read and written.
__attribute__((noinline, cold)) unsigned TestEightAtEnd(std::uint16_t* stored, __m256 z, int live) {
    alignas(16) std::uint16_t part[8];
    for (int k = 0; k < 8; ++k) part[k] = k < live ? stored[k] : 0xFFFF;
    const unsigned pass = TestEight(part, z, live);
    for (int k = 0; k < live; ++k) stored[k] = part[k];
    return pass;
}

// The tags of four (eight) neighbouring pixels set to `order` where their bit in `pass` is
// set, the others written back as they were.
WIDE_INLINE __m128i PassLanes16(unsigned pass) {
    const __m128i bits = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
    return _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(static_cast<short>(pass)), bits), bits);
}

WIDE_INLINE void TagFour(std::uint16_t* at, unsigned pass, __m128i order) {
    const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_blendv_epi8(old, order, PassLanes16(pass)));
}

WIDE_INLINE void TagEight(std::uint16_t* at, unsigned pass, __m128i order) {
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_blendv_epi8(old, order, PassLanes16(pass)));
}

// A held triangle's depth test of the first `live` of eight pixels at depths z: nearer
// passes, and so does a tie over a pixel that an earlier triangle wrote. Those that pass
// take its depth and order. Held triangles are few, so one pixel at a time.
__attribute__((noinline)) unsigned TestHeld(std::uint16_t* stored, std::uint16_t* tags, __m256 z,
                                            int live, std::uint16_t order) {
    alignas(32) std::int32_t depth[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(depth), Depth8(z));
    unsigned pass = 0;
    for (int k = 0; k < live; ++k) {
        const std::int32_t old = stored[k];
        if (depth[k] < old || (depth[k] == old && tags[k] < order)) {
            stored[k] = static_cast<std::uint16_t>(depth[k]);
            tags[k] = order;
            pass |= 1u << k;
        }
    }
    return pass;
}

#include "platform/raster_rows.h"

// Rows of stored depths and tags a triangle asks for before its walk, at least.
constexpr std::uintptr_t kAheadRows = 12;

// Asks for the stored depths (and tags, where there are) of `rows` rows from row y, column
// x on, before any is read: rows lie a target's width apart, a stride the processor's own
// prefetching has no time to learn in a few rows, and the buffers are larger than the
// nearest caches. Rows below a small box count too, since the strip's later triangles reach
// them: twelve from the box's first paid, the box's own alone did not. Addresses past the
// buffers are hints only, never read.
WIDE_INLINE void AskForStoredRows(const Target& target, const std::uint16_t* tags, std::int64_t y,
                                  std::int64_t x, std::uintptr_t rows) {
    const auto first = static_cast<std::uintptr_t>(y * target.width + x) * sizeof(std::uint16_t);
    const std::uintptr_t stride = static_cast<std::uintptr_t>(target.width) * sizeof(std::uint16_t);
    const std::uintptr_t d = reinterpret_cast<std::uintptr_t>(target.depth) + first;
    const std::uintptr_t g = reinterpret_cast<std::uintptr_t>(tags) + first;
    for (std::uintptr_t i = 0; i < rows; ++i) {
        _mm_prefetch(reinterpret_cast<const char*>(d + i * stride), _MM_HINT_T0);
        if (tags != nullptr) _mm_prefetch(reinterpret_cast<const char*>(g + i * stride), _MM_HINT_T0);
    }
}

// Count (4 or 8) pixels of a row queued from v, attributes stepped one add of gx at a time
// as Run steps them, and their offsets from `row` on; each pixel's attributes also go to
// pixel[] for the depth test. v is left Count steps on.
template <int Count>
WIDE_INLINE void QueueSteps(__m256& v, __m256 gx, std::ptrdiff_t row, float (*attrs)[kBasicAttrs],
                            std::ptrdiff_t* at, __m256* pixel) {
    const __m256i first = _mm256_set1_epi64x(row);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_add_epi64(first, _mm256_setr_epi64x(0, 1, 2, 3)));
    if constexpr (Count == 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 4),
                            _mm256_add_epi64(first, _mm256_setr_epi64x(4, 5, 6, 7)));
    }
#pragma GCC unroll 8
    for (int j = 0; j < Count; ++j) {
        pixel[j] = v;
        _mm256_store_ps(attrs[j], v);
        v = _mm256_add_ps(v, gx);
    }
}

// The depth slot of the first four of pixel[] in the low lanes.
WIDE_INLINE __m128 DepthSlots4(const __m256* pixel) {
    const __m256 t0 = _mm256_unpacklo_ps(pixel[0], pixel[1]);
    const __m256 t1 = _mm256_unpacklo_ps(pixel[2], pixel[3]);
    return _mm256_castps256_ps128(_mm256_shuffle_ps(t0, t1, 0x44));
}

// The queue's length once the group queued at n (attrs, at) keeps only the pixels whose bit
// is set in `pass`: a run of passing pixels from the first stays where it was queued; the
// others are moved up over the failing ones, in order.
WIDE_INLINE int KeepPassing(Queue& q, int n, unsigned pass, const float (*attrs)[kBasicAttrs],
                            const std::ptrdiff_t* at) {
    if ((pass & (pass + 1)) == 0) return n + __builtin_ctz(~pass);
    for (unsigned m = pass; m != 0; m &= m - 1) {
        const int j = __builtin_ctz(m);
        _mm256_store_ps(q.attrs[n], _mm256_load_ps(attrs[j]));
        q.at[n++] = at[j];
    }
    return n;
}

// The rows of a triangle, each row's span found as TriangleEntry finds it (or from the
// small triangle's edges); each pixel's attributes are stepped from its row's start
// exactly as Run steps them.
template <bool Small, bool Room, DepthMode D, ShadeMode S, BlendMode B, bool P>
WIDE_INLINE void WideRows(TriangleArgs& t, Queue& q, int& queued, bool& mixed, const WideTexture& tex) {
    int n = queued; // kept apart: the queue's stores could otherwise alias it
    const Target& target = *t.target;
    const __m256 base = _mm256_loadu_ps(t.base);
    const __m256 gx = _mm256_loadu_ps(t.gx);
    const __m256 gy = _mm256_loadu_ps(t.gy);
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    std::uint16_t* const tags = t.tags;
    const bool held = t.held;
    const std::uint16_t order = t.order;
    const __m128i orders = _mm_set1_epi16(static_cast<short>(order));
    if constexpr (D == DepthMode::LessEqualWrite) {
        const auto rows = static_cast<std::uintptr_t>(t.y1 - t.y0 + 1);
        AskForStoredRows(target, tags, t.y0, t.x0, rows > kAheadRows ? rows : kAheadRows);
    }
    EachRow<Small>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) __attribute__((always_inline)) {
        const float ox = static_cast<float>(xs) - t.fx0, oy = static_cast<float>(y) - t.fy0;
        __m256 v = _mm256_add_ps(_mm256_add_ps(base, _mm256_mul_ps(gx, _mm256_set1_ps(ox))),
                                 _mm256_mul_ps(gy, _mm256_set1_ps(oy)));
        const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(y) * target.width + xs;
        const int count = static_cast<int>(xe - xs + 1);
        // Eight steps at a time, queued whether or not they are in the row, so that no
        // branch depends on the row's length below eight; only the row's are counted.
        for (int i = 0; i < count; i += 8) {
            if (!Room && n > kQueue - 8) {
                ShadeQueue<S, B, P>(q, n, target, tex, mixed);
                n = 0;
                mixed = false;
            }
            const int live = count - i < 8 ? count - i : 8;
            float(*const attrs)[kBasicAttrs] = q.attrs + n;
            std::ptrdiff_t* const at = q.at + n;
            __m256 pixel[8];
            if (D == DepthMode::LessEqualWrite && live <= 4) {
                // The last few of a row (most rows of the rings are that short): four
                // steps are enough.
                QueueSteps<4>(v, gx, row + i, attrs, at, pixel);
            } else {
                QueueSteps<8>(v, gx, row + i, attrs, at, pixel);
            }
            if constexpr (D == DepthMode::LessEqualWrite) {
                // Tested and written now, in drawing order, so only pixels that pass are
                // shaded.
                std::uint16_t* const stored = target.depth + row + i;
                unsigned pass;
                if (live <= 4) {
                    const __m128 z = DepthSlots4(pixel);
                    if (__builtin_expect(held, 0)) {
                        pass = TestHeld(stored, tags + row + i, _mm256_castps128_ps256(z), live, order);
                    } else {
                        pass = __builtin_expect(row + i + 4 <= limit, 1)
                                   ? TestFour(stored, z, live)
                                   : TestEightAtEnd(stored, _mm256_castps128_ps256(z), live);
                        if (tags != nullptr) TagFour(tags + row + i, pass, orders);
                    }
                } else {
                    const __m256 z = DepthSlots(pixel);
                    if (__builtin_expect(held, 0)) {
                        pass = TestHeld(stored, tags + row + i, z, live, order);
                    } else {
                        pass = __builtin_expect(row + i + 8 <= limit, 1) ? TestEight(stored, z, live)
                                                                         : TestEightAtEnd(stored, z, live);
                        if (tags != nullptr) TagEight(tags + row + i, pass, orders);
                    }
                }
                n = KeepPassing(q, n, pass, attrs, at);
            } else {
                n += live;
            }
        }
    });
    queued = n;
}

// Whether every pixel of a held triangle surely fails (HeldHiddenRows, HeldHiddenSmall),
// proven without making the depths one add at a time: a lower bound of each pixel's depth
// from its plane, against the stored depth, which must lie strictly below it, since a tie
// may pass. False where that cannot be told, which HeldPasses then settles exactly.
//
// The bound. Let Q = |base| + |gx| max|x - fx0| + |gy| max|y - fy0| over the box, which
// bounds the plane's exact value p(x, y) anywhere in it, and u = 2^-24. A row's first
// value s (two products, four sums and differences, as HeldPasses makes it) lies within
// 4uQ of p there; each of the n adds of gx after it rounds by at most u times the sum's
// magnitude, which stays below 2Q, so a pixel's value z lies within (2n + 4)uQ of p. Our
// estimate of p - E (two products, at most seven sums and differences) adds at most
// 10u(Q + E) more, with E far below Q. So E = (n + 8) 2^-22 Q = (4n + 32)uQ, n the box's
// width, is more than enough; 2^-100 more covers the roundings of values too small to be
// normal. The estimate is then never above z. Depth8 is monotonic (the clamp, a product
// and a sum rounded to nearest, a truncation), so the depth of the estimate (LowDepth8) is
// at most z's. Where anything is infinite or not a number, E is too, and nothing is tried;
// an estimate below 0 gives a depth of at most 0, which proves nothing, and so does one
// that is not a number.

// E as above comes with each triangle as `margin`, n its box's width: the settle works it
// out with the box's limit, whose size is this Q. Where it is not below 2^-16 (nor a
// number) the bound would prove nothing.

// The depths of the estimates at eight columns x of a row, with `down` = gy (y - fy0) - E:
// as Depth8, but for the clamp at 0, which an estimate below 0 does not need (its depth of
// at most 0 proves nothing either way). The operands of min put a value that is not a
// number through, which comes out as no depth at all.
WIDE_INLINE __m256i LowDepth8(__m256 x, __m256 base, __m256 slope, __m256 down) {
    const __m256 low = _mm256_add_ps(_mm256_add_ps(base, _mm256_mul_ps(slope, x)), down);
    const __m256 z = _mm256_min_ps(_mm256_set1_ps(1.0f), low);
    return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(z, _mm256_set1_ps(65535.0f)), _mm256_set1_ps(0.5f)));
}

// That test for a large triangle, row by row over its spans.
WIDE_INLINE bool HeldHiddenRows(TriangleArgs& t, float margin) {
    const Target& target = *t.target;
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    // Eight stored depths are read from each row's first column on.
    if (static_cast<std::ptrdiff_t>(t.y1) * target.width + t.x1 + 8 > limit) return false;
    const float e = margin;
    if (!(e < 0x1p-16f)) return false;
    const __m256 lanes = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 base = _mm256_set1_ps(t.base[kZ]), slope = _mm256_set1_ps(t.gx[kZ]);
    const __m256i count = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    bool hidden = true;
    EachRow<false, true>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) __attribute__((always_inline)) {
        const __m256 down = _mm256_set1_ps(t.gy[kZ] * (static_cast<float>(y) - t.fy0) - e);
        const std::uint16_t* stored = target.depth + static_cast<std::ptrdiff_t>(y) * target.width + xs;
        const float ox = static_cast<float>(xs) - t.fx0;
        const int n = static_cast<int>(xe - xs + 1);
        unsigned undecided = 0;
        for (int i = 0; i < n; i += 8) {
            const __m256 x = _mm256_add_ps(_mm256_set1_ps(ox + static_cast<float>(i)), lanes);
            const __m256i depth = LowDepth8(x, base, slope, down);
            const __m256i old = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(stored + i)));
            const __m256i alive = _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), count);
            undecided |= static_cast<unsigned>(
                _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(_mm256_cmpgt_epi32(depth, old), alive))));
        }
        hidden = hidden && undecided == 0;
    });
    return hidden;
}

// That test for a triangle with small edges over up to 8 x Halves columns, every row over
// the whole box at once: a column is settled where it lies outside an edge (as SmallRows
// finds it, here for as many columns as the box has) or its bound is above the stored
// depth. The estimates are made at the columns x0 + k.
template <int Halves>
WIDE_INLINE bool HeldHiddenSmall(TriangleArgs& t, float margin) {
    const Target& target = *t.target;
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    // 8 x Halves stored depths are read from the box's first column on, in every row.
    if (static_cast<std::ptrdiff_t>(t.y1) * target.width + t.x0 + 8 * Halves > limit) return false;
    const float e = margin;
    if (!(e < 0x1p-16f)) return false;
    const __m256i k = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 base = _mm256_set1_ps(t.base[kZ]), slope = _mm256_set1_ps(t.gx[kZ]);
    // The edges at the box's columns, stepped row by row: column c's value is the first
    // plus c steps, a product that wraps as the sums do.
    __m256i edge[3][Halves], perRow[3];
    for (int i = 0; i < 3; ++i) {
        const __m256i step = _mm256_set1_epi32(t.edgeX[i]);
        edge[i][0] = _mm256_add_epi32(_mm256_set1_epi32(t.edgeAt[i]), _mm256_mullo_epi32(step, k));
        for (int h = 1; h < Halves; ++h) edge[i][h] = _mm256_add_epi32(edge[i][h - 1], _mm256_slli_epi32(step, 3));
        perRow[i] = _mm256_set1_epi32(t.edgeY[i]);
    }
    __m256 x[Halves];
    __m256i beyond[Halves]; // columns past the box: settled
    for (int h = 0; h < Halves; ++h) {
        const __m256i column = _mm256_add_epi32(k, _mm256_set1_epi32(8 * h));
        x[h] = _mm256_sub_ps(_mm256_cvtepi32_ps(_mm256_add_epi32(column, _mm256_set1_epi32(static_cast<int>(t.x0)))),
                             _mm256_set1_ps(t.fx0));
        beyond[h] = _mm256_cmpgt_epi32(column, _mm256_set1_epi32(static_cast<int>(t.x1 - t.x0)));
    }
    const std::uint16_t* stored = target.depth + static_cast<std::ptrdiff_t>(t.y0) * target.width + t.x0;
    for (std::int64_t y = t.y0; y <= t.y1; ++y, stored += target.width) {
        const __m256 down = _mm256_set1_ps(t.gy[kZ] * (static_cast<float>(y) - t.fy0) - e);
        // Per column, the sign bit set where it is settled.
        __m256i settled = _mm256_set1_epi32(-1);
        for (int h = 0; h < Halves; ++h) {
            const __m256i old = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(stored + 8 * h)));
            const __m256i hidden = _mm256_cmpgt_epi32(LowDepth8(x[h], base, slope, down), old);
            const __m256i outside = _mm256_or_si256(_mm256_or_si256(edge[0][h], edge[1][h]), edge[2][h]);
            settled = _mm256_and_si256(settled, _mm256_or_si256(_mm256_or_si256(outside, hidden), beyond[h]));
            for (int i = 0; i < 3; ++i) edge[i][h] = _mm256_add_epi32(edge[i][h], perRow[i]);
        }
        if (!_mm256_testc_ps(_mm256_castsi256_ps(settled), _mm256_castsi256_ps(_mm256_set1_epi32(-1)))) return false;
    }
    return true;
}

// Whether any pixel of a held triangle passes TestHeld: nearer than the stored depth, or
// a tie over an earlier tag. Only its depth plane is read, and each pixel's depth is made
// as WideRows makes the depth lane: from the row's first pixel, one step of gx at a time.
// Its walkers are left as they were, for the draw that may follow.
template <bool Small>
WIDE_INLINE bool HeldPasses(TriangleArgs& t) {
    const Target& target = *t.target;
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    const __m128 base = _mm_set_ss(t.base[kZ]), gx = _mm_set_ss(t.gx[kZ]), gy = _mm_set_ss(t.gy[kZ]);
    const __m256i order = _mm256_set1_epi32(t.order);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    bool passes = false;
    EachRow<Small, true>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) __attribute__((always_inline)) {
        if (passes) return;
        const float ox = static_cast<float>(xs) - t.fx0, oy = static_cast<float>(y) - t.fy0;
        __m128 z = _mm_add_ss(_mm_add_ss(base, _mm_mul_ss(gx, _mm_set_ss(ox))), _mm_mul_ss(gy, _mm_set_ss(oy)));
        const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(y) * target.width + xs;
        const int count = static_cast<int>(xe - xs + 1);
        for (int i = 0; i < count && !passes; i += 8) {
            alignas(32) float zs[8];
            for (int j = 0; j < 8; ++j) {
                _mm_store_ss(zs + j, z);
                z = _mm_add_ss(z, gx);
            }
            const int live = count - i < 8 ? count - i : 8;
            const std::uint16_t* stored = target.depth + row + i;
            const std::uint16_t* tags = t.tags + row + i;
            if (__builtin_expect(row + i + 8 <= limit, 1)) {
                const __m256i depth = Depth8(_mm256_load_ps(zs));
                const __m256i old = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(stored)));
                const __m256i tag = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tags)));
                const __m256i nearer = _mm256_cmpgt_epi32(old, depth);
                const __m256i tie = _mm256_and_si256(_mm256_cmpeq_epi32(old, depth), _mm256_cmpgt_epi32(order, tag));
                const __m256i alive = _mm256_cmpgt_epi32(_mm256_set1_epi32(live), lanes);
                passes = !_mm256_testz_si256(_mm256_or_si256(nearer, tie), alive);
            } else {
                // The last pixels of the target: only those of the row are read.
                alignas(32) std::int32_t depth[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(depth), Depth8(_mm256_load_ps(zs)));
                for (int k = 0; k < live; ++k) {
                    passes = passes || depth[k] < stored[k] || (depth[k] == stored[k] && tags[k] < t.order);
                }
            }
        }
    });
    return passes;
}

// TestFour and TestEight with TagFour and TagEight, for the `live` first of four or eight
// pixels at `stored` (depths z): the tags take their blend from the comparison itself, not
// from the bits made of it, which shortens the wait on the stored depths. No tags: null.
WIDE_INLINE unsigned TestTagFour(std::uint16_t* stored, std::uint16_t* tags, __m128 z, int live, __m128i orders) {
    const __m128i dead = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kDead + 8 - live));
    z = _mm_min_ps(_mm_max_ps(z, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    z = _mm_add_ps(_mm_mul_ps(z, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
    const __m128i d = _mm_or_si128(_mm_cvttps_epi32(z), dead);
    const __m128i old = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(stored)));
    const __m128i low = _mm_min_epi32(d, old);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(stored), _mm_packus_epi32(low, low));
    const __m128i fail = _mm_cmpgt_epi32(d, old);
    if (tags != nullptr) {
        const __m128i was = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tags));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(tags), _mm_blendv_epi8(orders, was, _mm_packs_epi32(fail, fail)));
    }
    return ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(fail))) & 0xFu;
}

WIDE_INLINE unsigned TestTagEight(std::uint16_t* stored, std::uint16_t* tags, __m256 z, int live, __m128i orders) {
    const __m256i dead = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kDead + 8 - live));
    const __m256i d = _mm256_or_si256(Depth8(z), dead);
    const __m256i old = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(stored)));
    const __m256i low = _mm256_min_epi32(d, old);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(stored),
                     _mm_packus_epi32(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1)));
    const __m256i fail = _mm256_cmpgt_epi32(d, old);
    if (tags != nullptr) {
        const __m128i was = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tags));
        const __m128i fail16 = _mm_packs_epi32(_mm256_castsi256_si128(fail), _mm256_extracti128_si256(fail, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(tags), _mm_blendv_epi8(orders, was, fail16));
    }
    return ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(fail))) & 0xFFu;
}

// The rows of a tiny triangle (see TriangleArgs::covered) under the untextured LESSEQUAL
// Replace loop, queued as WideRows queues them: each row's attributes from its first
// pixel, stepped one add of gx at a time, tested and tagged in drawing order, and only
// the pixels that pass kept. Every row is one group of at most eight, or two, and the
// rows' columns come from setup, so nothing of the edges stays live from row to row.
template <ShadeMode S, bool P>
WIDE_INLINE void TinyRows(TriangleArgs& t, Queue& q, int& queued, bool& mixed, const WideTexture& tex) {
    int n = queued; // kept apart: the queue's stores could otherwise alias it
    const Target& target = *t.target;
    const __m256 base = _mm256_loadu_ps(t.base);
    const __m256 gx = _mm256_loadu_ps(t.gx);
    const __m256 gy = _mm256_loadu_ps(t.gy);
    const float fx0 = t.fx0, fy0 = t.fy0;
    const std::int64_t x0 = t.x0, y0 = t.y0, width = target.width;
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    std::uint16_t* const depth = target.depth;
    std::uint16_t* const tags = t.tags;
    const __m128i orders = _mm_set1_epi16(static_cast<short>(t.order));
    AskForStoredRows(target, tags, y0, x0, kAheadRows);
    // Room for every row's groups: shading what is queued a little early changes nothing.
    if (n > kQueue - kTinyColumns * kTinyRows) {
        ShadeQueue<S, BlendMode::Replace, P>(q, n, target, tex, mixed);
        n = 0;
        mixed = false;
    }
    // One group of `live` (1 to 8) pixels of a row from `row`, attributes from v; v is left
    // eight steps on, where a row's second group starts.
    auto group = [&](std::ptrdiff_t row, int live, __m256& v) __attribute__((always_inline)) {
        float(*const attrs)[kBasicAttrs] = q.attrs + n;
        std::ptrdiff_t* const at = q.at + n;
        std::uint16_t* const stored = depth + row;
        __m256 pixel[8];
        unsigned pass;
        if (live <= 4) {
            QueueSteps<4>(v, gx, row, attrs, at, pixel);
            const __m128 z = DepthSlots4(pixel);
            if (__builtin_expect(row + 4 <= limit, 1)) {
                pass = TestTagFour(stored, tags != nullptr ? tags + row : nullptr, z, live, orders);
            } else {
                pass = TestEightAtEnd(stored, _mm256_castps128_ps256(z), live);
                if (tags != nullptr) TagFour(tags + row, pass, orders);
            }
        } else {
            QueueSteps<8>(v, gx, row, attrs, at, pixel);
            const __m256 z = DepthSlots(pixel);
            if (__builtin_expect(row + 8 <= limit, 1)) {
                pass = TestTagEight(stored, tags != nullptr ? tags + row : nullptr, z, live, orders);
            } else {
                pass = TestEightAtEnd(stored, z, live);
                if (tags != nullptr) TagEight(tags + row, pass, orders);
            }
        }
        n = KeepPassing(q, n, pass, attrs, at);
    };
    // Rows on from the first with pixels; y as a float is whole and far below 2^24, so
    // counting it up in float gives the row's own conversion.
    unsigned __int128 covered = t.covered;
    const auto low = static_cast<std::uint64_t>(covered);
    const int skip = low != 0 ? __builtin_ctzll(low) >> 4 : 4 + (__builtin_ctzll(static_cast<std::uint64_t>(covered >> 64)) >> 4);
    covered >>= 16 * skip;
    std::int64_t y = y0 + skip;
    float fy = static_cast<float>(y);
    std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(y * width + x0);
    for (; covered != 0; covered >>= 16, fy += 1.0f, rowStart += width) {
        const auto columns = static_cast<std::uint32_t>(covered) & 0xFFFFu;
        if (columns == 0) continue;
        // A row's columns inside a triangle run without a gap: its count is its bits.
        const int skipped = __builtin_ctz(columns);
        const int live = __builtin_popcount(columns);
        const std::int64_t xs = x0 + skipped;
        const float ox = static_cast<float>(xs) - fx0, oy = fy - fy0;
        __m256 v = _mm256_add_ps(_mm256_add_ps(base, _mm256_mul_ps(gx, _mm256_set1_ps(ox))),
                                 _mm256_mul_ps(gy, _mm256_set1_ps(oy)));
        const std::ptrdiff_t row = rowStart + skipped;
        if (__builtin_expect(live <= 8, 1)) {
            group(row, live, v);
        } else {
            group(row, 8, v);
            group(row + 8, live - 8, v);
        }
    }
    queued = n;
}

template <DepthMode D, ShadeMode S, BlendMode B, bool P>
WIDE_INLINE void Rows(TriangleArgs& t, Queue& q, int& n, bool& mixed, const WideTexture& tex) {
    if constexpr (D == DepthMode::LessEqualWrite && B == BlendMode::Replace) {
        // Held triangles are never tiny: they test against the tags in TestHeld.
        if (t.tiny) {
            TinyRows<S, P>(t, q, n, mixed, tex);
            return;
        }
    }
    // Where the whole box fits in the queue, room for it is made once, and the groups of
    // the rows need not look: no row has more pixels than the box is wide.
    const std::int64_t box = (t.y1 - t.y0 + 1) * (t.x1 - t.x0 + 1);
    if (box <= kQueue) {
        if (n > kQueue - box) {
            ShadeQueue<S, B, P>(q, n, *t.target, tex, mixed);
            n = 0;
            mixed = false;
        }
        if (t.small) {
            WideRows<true, true, D, S, B, P>(t, q, n, mixed, tex);
        } else {
            WideRows<false, true, D, S, B, P>(t, q, n, mixed, tex);
        }
        return;
    }
    if (t.small) {
        WideRows<true, false, D, S, B, P>(t, q, n, mixed, tex);
    } else {
        WideRows<false, false, D, S, B, P>(t, q, n, mixed, tex);
    }
}

WideTexture TextureOf(ShadeMode s, const State& state) {
    return s == ShadeMode::BlendLinear ? MakeTexture(state.stages[0].texture) : WideTexture{};
}

} // namespace

// A batch's pixels: its queue, and the target, texture and loop they were queued for.
struct Batch::Pending {
    Queue q;
    int n = 0;
    bool mixed = false; // the queue holds more than one triangle's pixels
    void (*shade)(Pending&) = nullptr;
    Target target;
    const std::uint32_t* texels = nullptr;
    WideTexture tex;
};

namespace {

template <DepthMode D, ShadeMode S, BlendMode B, bool P>
void ShadePending(Batch::Pending& b) {
    ShadeQueue<S, B, P>(b.q, b.n, b.target, b.tex, b.mixed);
    b.n = 0;
    b.mixed = false;
}

template <DepthMode D, ShadeMode S, BlendMode B, bool P>
void WideEntry(TriangleArgs& t) {
    Batch::Pending* b = t.batch != nullptr ? t.batch->pending() : nullptr;
    if (b == nullptr) {
        const WideTexture tex = TextureOf(S, *t.state);
        Queue q;
        int n = 0;
        bool mixed = false;
        Rows<D, S, B, P>(t, q, n, mixed, tex);
        if (n > 0) ShadeQueue<S, B, P>(q, n, *t.target, tex, false);
        return;
    }
    // Pixels queued for another loop, target or texture are shaded first.
    void (*const shade)(Batch::Pending&) = &ShadePending<D, S, B, P>;
    const std::uint32_t* texels = S == ShadeMode::BlendLinear ? t.state->stages[0].texture.texels : nullptr;
    if (b->shade != shade || b->target.colour != t.target->colour || b->texels != texels) {
        if (b->n > 0) b->shade(*b);
        b->shade = shade;
        b->target = *t.target;
        b->texels = texels;
        b->tex = TextureOf(S, *t.state);
    }
    b->mixed = b->mixed || b->n > 0;
    Rows<D, S, B, P>(t, b->q, b->n, b->mixed, b->tex);
}

// A batch of a line's pixels: attributes from + delta x f as LinePixels computes them,
// depth tested one by one, the passing ones shaded eight at a time.
template <DepthMode D, ShadeMode S, BlendMode B, bool P>
void WideLineEntry(const LineArgs& a) {
    const Target& target = *a.target;
    const WideTexture tex = S == ShadeMode::BlendLinear ? MakeTexture(a.state->stages[0].texture)
                                                        : WideTexture{};
    Queue q;
    int n = 0;
    const __m256 from = _mm256_load_ps(a.from);
    const __m256 delta = _mm256_load_ps(a.delta);
    for (int i = 0; i < a.count; ++i) {
        if (n == kQueue) {
            ShadeQueue<S, B, P>(q, n, target, tex, false);
            n = 0;
        }
        const __m256 v = _mm256_add_ps(from, _mm256_mul_ps(delta, _mm256_set1_ps(a.f[i])));
        _mm256_store_ps(q.attrs[n], v);
        q.at[n] = a.at[i];
        if constexpr (D == DepthMode::LessEqualWrite) {
            n += TestAndWrite(target.depth[a.at[i]], Depth16(v));
        } else {
            ++n;
        }
    }
    if (n > 0) ShadeQueue<S, B, P>(q, n, target, tex, false);
}

} // namespace

namespace {

// HeldHiddenSmall<2 x Z> sixteen columns to a register (AVX-512): every column's
// estimate, edges and comparison as there, lane for lane, so it finds the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
template <int Z>
WIDE512 bool HeldHiddenSixteen(TriangleArgs& t, float margin) {
    const Target& target = *t.target;
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    if (static_cast<std::ptrdiff_t>(t.y1) * target.width + t.x0 + 16 * Z > limit) return false;
    const float e = margin;
    if (!(e < 0x1p-16f)) return false;
    const __m512i k = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512 base = _mm512_set1_ps(t.base[kZ]), slope = _mm512_set1_ps(t.gx[kZ]);
    __m512i edge[3][Z], perRow[3];
    for (int i = 0; i < 3; ++i) {
        const __m512i step = _mm512_set1_epi32(t.edgeX[i]);
        edge[i][0] = _mm512_add_epi32(_mm512_set1_epi32(t.edgeAt[i]), _mm512_mullo_epi32(step, k));
        for (int z = 1; z < Z; ++z) edge[i][z] = _mm512_add_epi32(edge[i][z - 1], _mm512_slli_epi32(step, 4));
        perRow[i] = _mm512_set1_epi32(t.edgeY[i]);
    }
    __m512 x[Z];
    __mmask16 beyond[Z];
    for (int z = 0; z < Z; ++z) {
        const __m512i column = _mm512_add_epi32(k, _mm512_set1_epi32(16 * z));
        x[z] = _mm512_sub_ps(_mm512_cvtepi32_ps(_mm512_add_epi32(column, _mm512_set1_epi32(static_cast<int>(t.x0)))),
                             _mm512_set1_ps(t.fx0));
        beyond[z] = _mm512_cmpgt_epi32_mask(column, _mm512_set1_epi32(static_cast<int>(t.x1 - t.x0)));
    }
    const std::uint16_t* stored = target.depth + static_cast<std::ptrdiff_t>(t.y0) * target.width + t.x0;
    for (std::int64_t y = t.y0; y <= t.y1; ++y, stored += target.width) {
        const __m512 down = _mm512_set1_ps(t.gy[kZ] * (static_cast<float>(y) - t.fy0) - e);
        __mmask16 settled = 0xFFFF;
        for (int z = 0; z < Z; ++z) {
            const __m512i old =
                _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(stored + 16 * z)));
            // LowDepth8's steps.
            const __m512 low = _mm512_add_ps(_mm512_add_ps(base, _mm512_mul_ps(slope, x[z])), down);
            const __m512 at = _mm512_min_ps(_mm512_set1_ps(1.0f), low);
            const __m512i depth = _mm512_cvttps_epi32(
                _mm512_add_ps(_mm512_mul_ps(at, _mm512_set1_ps(65535.0f)), _mm512_set1_ps(0.5f)));
            const __m512i any = _mm512_ternarylogic_epi32(edge[0][z], edge[1][z], edge[2][z], 0xFE);
            settled &= _mm512_cmpgt_epi32_mask(depth, old) | _mm512_movepi32_mask(any) | beyond[z];
            for (int i = 0; i < 3; ++i) edge[i][z] = _mm512_add_epi32(edge[i][z], perRow[i]);
        }
        if (settled != 0xFFFF) return false;
    }
    return true;
}

// HeldHiddenSmall<1> two rows to a register, the first row in lanes 0-7 and the next in
// 8-15 (settled where it lies past the box).
WIDE512 bool HeldHiddenTwoRows(TriangleArgs& t, float margin) {
    const Target& target = *t.target;
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(target.width) * target.height;
    if (static_cast<std::ptrdiff_t>(t.y1) * target.width + t.x0 + 8 > limit) return false;
    const float e = margin;
    if (!(e < 0x1p-16f)) return false;
    const __m512i k = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7);
    const __m512 base = _mm512_set1_ps(t.base[kZ]), slope = _mm512_set1_ps(t.gx[kZ]);
    __m512i edge[3], perTwo[3];
    for (int i = 0; i < 3; ++i) {
        const __m512i first = _mm512_add_epi32(_mm512_set1_epi32(t.edgeAt[i]),
                                               _mm512_mullo_epi32(_mm512_set1_epi32(t.edgeX[i]), k));
        edge[i] = _mm512_mask_add_epi32(first, 0xFF00, first, _mm512_set1_epi32(t.edgeY[i]));
        perTwo[i] = _mm512_set1_epi32(2 * t.edgeY[i]);
    }
    const __m512 x = _mm512_sub_ps(_mm512_cvtepi32_ps(_mm512_add_epi32(k, _mm512_set1_epi32(static_cast<int>(t.x0)))),
                                   _mm512_set1_ps(t.fx0));
    const __mmask16 beyond = _mm512_cmpgt_epi32_mask(k, _mm512_set1_epi32(static_cast<int>(t.x1 - t.x0)));
    const std::uint16_t* stored = target.depth + static_cast<std::ptrdiff_t>(t.y0) * target.width + t.x0;
    for (std::int64_t y = t.y0; y <= t.y1; y += 2, stored += 2 * target.width) {
        const bool two = y < t.y1;
        const float d0 = t.gy[kZ] * (static_cast<float>(y) - t.fy0) - e;
        const float d1 = t.gy[kZ] * (static_cast<float>(y + 1) - t.fy0) - e;
        const __m512 down = _mm512_mask_blend_ps(0xFF00, _mm512_set1_ps(d0), _mm512_set1_ps(d1));
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stored));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(two ? stored + target.width : stored));
        const __m512i old = _mm512_cvtepu16_epi32(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1));
        const __m512 low = _mm512_add_ps(_mm512_add_ps(base, _mm512_mul_ps(slope, x)), down);
        const __m512 at = _mm512_min_ps(_mm512_set1_ps(1.0f), low);
        const __m512i depth =
            _mm512_cvttps_epi32(_mm512_add_ps(_mm512_mul_ps(at, _mm512_set1_ps(65535.0f)), _mm512_set1_ps(0.5f)));
        const __m512i any = _mm512_ternarylogic_epi32(edge[0], edge[1], edge[2], 0xFE);
        const __mmask16 past = two ? 0 : 0xFF00;
        const __mmask16 settled = _mm512_cmpgt_epi32_mask(depth, old) | _mm512_movepi32_mask(any) | beyond | past;
        if (settled != 0xFFFF) return false;
        for (int i = 0; i < 3; ++i) edge[i] = _mm512_add_epi32(edge[i], perTwo[i]);
    }
    return true;
}
#pragma GCC diagnostic pop

// Whether the held pixel bound takes sixteen columns to a register (see HeldSixteen).
bool heldSixteen = CanShadeSixteen();

} // namespace

bool HeldPixels(TriangleArgs& t, float margin) {
    if (t.small) {
        if (heldSixteen) {
            const bool hidden = t.x1 - t.x0 < 8 ? HeldHiddenTwoRows(t, margin) : HeldHiddenSixteen<1>(t, margin);
            return !hidden && HeldPasses<true>(t);
        }
        const bool hidden = t.x1 - t.x0 < 8 ? HeldHiddenSmall<1>(t, margin) : HeldHiddenSmall<2>(t, margin);
        return !hidden && HeldPasses<true>(t);
    }
    return !HeldHiddenRows(t, margin) && HeldPasses<false>(t);
}

bool HeldHiddenWide(TriangleArgs& t, float margin) {
    if (heldSixteen) return HeldHiddenSixteen<2>(t, margin);
    return t.x1 - t.x0 < 24 ? HeldHiddenSmall<3>(t, margin) : HeldHiddenSmall<4>(t, margin);
}

namespace {

#pragma GCC pop_options

template <DepthMode D, ShadeMode S, BlendMode B>
TriangleFn PickP(bool p) {
    return p ? &WideEntry<D, S, B, true> : &WideEntry<D, S, B, false>;
}

template <DepthMode D, ShadeMode S>
TriangleFn PickB(BlendMode b, bool p) {
    if (b == BlendMode::Replace) return PickP<D, S, BlendMode::Replace>(p);
    if (b == BlendMode::SrcAlpha) return PickP<D, S, BlendMode::SrcAlpha>(p);
    return nullptr;
}

template <DepthMode D>
TriangleFn PickS(ShadeMode s, BlendMode b, bool p) {
    if (s == ShadeMode::Diffuse) return PickB<D, ShadeMode::Diffuse>(b, p);
    if (s == ShadeMode::BlendLinear) return PickB<D, ShadeMode::BlendLinear>(b, p);
    return nullptr;
}

template <DepthMode D, ShadeMode S, BlendMode B>
LineFn LineP(bool p) {
    return p ? &WideLineEntry<D, S, B, true> : &WideLineEntry<D, S, B, false>;
}

template <DepthMode D, ShadeMode S>
LineFn LineB(BlendMode b, bool p) {
    if (b == BlendMode::Replace) return LineP<D, S, BlendMode::Replace>(p);
    if (b == BlendMode::SrcAlpha) return LineP<D, S, BlendMode::SrcAlpha>(p);
    return nullptr;
}

template <DepthMode D>
LineFn LineS(ShadeMode s, BlendMode b, bool p) {
    if (s == ShadeMode::Diffuse) return LineB<D, ShadeMode::Diffuse>(b, p);
    if (s == ShadeMode::BlendLinear) return LineB<D, ShadeMode::BlendLinear>(b, p);
    return nullptr;
}

} // namespace

bool ShadeSixteen(bool wanted) {
    shadeSixteen = wanted && CanShadeSixteen();
    return shadeSixteen;
}

bool HeldSixteen(bool wanted) {
    heldSixteen = wanted && CanShadeSixteen();
    return heldSixteen;
}

Batch::Batch(bool hold) {
    if (__builtin_cpu_supports("avx2")) pending_ = new (std::nothrow) Pending();
    if (hold && pending_ != nullptr) held_ = MakeHeld();
}

Batch::~Batch() {
    Settle();
    DropHeld(held_);
    delete pending_;
}

void Batch::Flush() {
    if (pending_ != nullptr && pending_->n > 0) pending_->shade(*pending_);
}

LineFn WideLine(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective) {
    if (!__builtin_cpu_supports("avx2")) return nullptr;
    if (depth == DepthMode::Off) return LineS<DepthMode::Off>(shade, blend, perspective);
    if (depth == DepthMode::LessEqualWrite)
        return LineS<DepthMode::LessEqualWrite>(shade, blend, perspective);
    return nullptr;
}

TriangleFn WideTriangle(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective) {
    if (!__builtin_cpu_supports("avx2")) return nullptr;
    if (depth == DepthMode::Off) return PickS<DepthMode::Off>(shade, blend, perspective);
    if (depth == DepthMode::LessEqualWrite)
        return PickS<DepthMode::LessEqualWrite>(shade, blend, perspective);
    return nullptr;
}

#else

struct Batch::Pending {};
Batch::Batch(bool) {}
Batch::~Batch() = default;
void Batch::Flush() {}

bool ShadeSixteen(bool) { return false; }
bool HeldSixteen(bool) { return false; }
TriangleFn WideTriangle(DepthMode, ShadeMode, BlendMode, bool) { return nullptr; }
LineFn WideLine(DepthMode, ShadeMode, BlendMode, bool) { return nullptr; }

#endif

} // namespace raster
