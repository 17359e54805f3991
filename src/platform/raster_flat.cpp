// Triangles drawn straight into the target, row by row, for the untextured, undepthed states
// of the overlay: each row's pixels are shaded and blended eight at a time where they lie,
// without the queue of raster_wide.cpp. A triangle whose colour planes are exactly flat
// (every gradient zero, as when its vertices share one colour) has one colour everywhere;
// it is rounded once and only the blend is left per pixel. Otherwise each pixel's colour is
// stepped from its row's start exactly as Run in raster_span.cpp steps it, so the pixels
// are identical to the one-pixel loops. Chosen only on a processor that has AVX2.
#include "platform/raster_span.h"

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#define RASTER_FLAT 1
#else
#define RASTER_FLAT 0
#endif

namespace raster {

#if RASTER_FLAT

namespace {

// Whether the processor has PREFETCHW, which asks for a line in order to write it: the
// loops below read each pixel and then write it, and a line fetched only for reading may
// have to be claimed again for the write. Where it has not, lines are asked for as reads.
bool CanAskToWrite() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("prfchw");
}
const bool askToWrite = CanAskToWrite();

// Everything in this block is compiled for AVX2 and runs only after the check in
// DirectTriangle. It uses no library templates, whose shared copies might otherwise come
// out compiled for AVX2 and be called from elsewhere.
#pragma GCC push_options
#pragma GCC target("avx2,prfchw")

#define FLAT_INLINE inline __attribute__((always_inline))

// The first `count` of eight lanes, for the loads and stores at a row's end.
FLAT_INLINE __m256i FirstLanes(int count) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// ToByte on each float lane, less the clamp below: min takes its second operand for NaN,
// so NaN stays NaN and truncates, like any value far below 0, to 0x80000000. The
// saturating packs that every caller applies next take those, and all negatives, to 0.
FLAT_INLINE __m256i Bytes8(__m256 x) {
    x = _mm256_min_ps(_mm256_set1_ps(255.0f), x);
    return _mm256_cvttps_epi32(_mm256_add_ps(x, _mm256_set1_ps(0.5f)));
}

// The colour of a flat plane: four slots rounded once, as ColourAt with no divide.
FLAT_INLINE std::uint32_t OneWord(__m128 c) {
    const __m128i lanes = _mm256_castsi256_si128(Bytes8(_mm256_castps128_ps256(c)));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(lanes, lanes), lanes);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
}

// Div255 of 16-bit lanes holding at most 255 x 255 + 128, the 128 already added: Mix in
// raster_span.cpp takes (y + (y >> 8)) >> 8 of y = x + 128, which is (y x 257) >> 16 for
// every 16-bit y.
FLAT_INLINE __m256i Div255Rounded(__m256i y) { return _mm256_mulhi_epu16(y, _mm256_set1_epi16(257)); }

// Source-alpha blend of eight source words over eight target words, each pixel by its
// own source alpha: Mix(src, dst, src >> 24).
FLAT_INLINE __m256i BlendEach(__m256i src, __m256i dst) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i s0 = _mm256_unpacklo_epi8(src, zero), s1 = _mm256_unpackhi_epi8(src, zero);
    const __m256i d0 = _mm256_unpacklo_epi8(dst, zero), d1 = _mm256_unpackhi_epi8(dst, zero);
    const __m256i a0 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s0, 0xFF), 0xFF);
    const __m256i a1 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s1, 0xFF), 0xFF);
    const __m256i full = _mm256_set1_epi16(255), half = _mm256_set1_epi16(128);
    const __m256i x0 = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(s0, a0), half),
                                        _mm256_mullo_epi16(d0, _mm256_sub_epi16(full, a0)));
    const __m256i x1 = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(s1, a1), half),
                                        _mm256_mullo_epi16(d1, _mm256_sub_epi16(full, a1)));
    return _mm256_packus_epi16(Div255Rounded(x0), Div255Rounded(x1));
}

// One source colour over many pixels: its share s x a (+ nothing else varies) worked out
// once, then per pixel only the target's share.
struct OneColour {
    std::uint32_t source;
    __m256i word;    // the colour in every lane
    __m256i share;   // s x a + 128 (Div255's rounding) per 16-bit channel
    __m256i inverse; // 255 - a per 16-bit channel

    FLAT_INLINE explicit OneColour(std::uint32_t src) : source(src) {
        const std::uint32_t a = src >> 24;
        word = _mm256_set1_epi32(static_cast<int>(src));
        const __m256i s = _mm256_unpacklo_epi8(word, _mm256_setzero_si256());
        share = _mm256_add_epi16(_mm256_mullo_epi16(s, _mm256_set1_epi16(static_cast<short>(a))),
                                 _mm256_set1_epi16(128));
        inverse = _mm256_set1_epi16(static_cast<short>(255 - a));
    }

    FLAT_INLINE __m256i Over(__m256i dst) const {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i d0 = _mm256_unpacklo_epi8(dst, zero), d1 = _mm256_unpackhi_epi8(dst, zero);
        const __m256i x0 = _mm256_add_epi16(share, _mm256_mullo_epi16(d0, inverse));
        const __m256i x1 = _mm256_add_epi16(share, _mm256_mullo_epi16(d1, inverse));
        return _mm256_packus_epi16(Div255Rounded(x0), Div255Rounded(x1));
    }
};

#include "platform/raster_rows.h"

// One colour over (or in place of) a run of pixels.
template <BlendMode B>
FLAT_INLINE void FillRun(std::uint32_t* p, int count, const OneColour& c) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i* at = reinterpret_cast<__m256i*>(p + i);
        if constexpr (B == BlendMode::SrcAlpha) {
            _mm256_storeu_si256(at, c.Over(_mm256_loadu_si256(at)));
        } else {
            _mm256_storeu_si256(at, c.word);
        }
    }
    if (i < count) {
        int* at = reinterpret_cast<int*>(p + i);
        const __m256i live = FirstLanes(count - i);
        if constexpr (B == BlendMode::SrcAlpha) {
            _mm256_maskstore_epi32(at, live, c.Over(_mm256_maskload_epi32(at, live)));
        } else {
            _mm256_maskstore_epi32(at, live, c.word);
        }
    }
}

// Eight pixels' colours from four registers of two pixels' b, g, r, a each (pixel 2k in
// the low half of pair k, 2k + 1 in the high half), as 0xAARRGGBB words in order.
FLAT_INLINE __m256i Words(__m256 p0, __m256 p1, __m256 p2, __m256 p3) {
    // packs: low halves 0, 2 | 4, 6 and high halves 1, 3 | 5, 7; then bytes.
    const __m256i a = _mm256_packs_epi32(Bytes8(p0), Bytes8(p1));
    const __m256i b = _mm256_packs_epi32(Bytes8(p2), Bytes8(p3));
    const __m256i bytes = _mm256_packus_epi16(a, b); // 0 2 4 6 | 1 3 5 7
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// The colours along a run whose colour changes: each pixel's four colour slots are its left
// neighbour's plus dx, added one pixel at a time as Run does. A register holds two
// neighbouring pixels, and two additions of dx move it on by two.
struct Chain {
    __m256 pair, step;
    FLAT_INLINE Chain(__m128 v, __m128 dx)
        : pair(_mm256_set_m128(_mm_add_ps(v, dx), v)), step(_mm256_set_m128(dx, dx)) {}
    FLAT_INLINE __m256 Next() {
        const __m256 now = pair;
        pair = _mm256_add_ps(_mm256_add_ps(pair, step), step);
        return now;
    }
    // The next eight pixels' words.
    FLAT_INLINE __m256i Eight() {
        const __m256 p0 = Next(), p1 = Next(), p2 = Next(), p3 = Next();
        return Words(p0, p1, p2, p3);
    }
};

// Eight pixels' words over (or in place of) the target's at p: all eight, or the first
// `left` where fewer are left, or none.
template <BlendMode B>
FLAT_INLINE void Put(std::uint32_t* p, int left, __m256i src) {
    if (left >= 8) {
        __m256i* at = reinterpret_cast<__m256i*>(p);
        if constexpr (B == BlendMode::SrcAlpha) src = BlendEach(src, _mm256_loadu_si256(at));
        _mm256_storeu_si256(at, src);
    } else if (left > 0) {
        int* at = reinterpret_cast<int*>(p);
        const __m256i live = FirstLanes(left);
        if constexpr (B == BlendMode::SrcAlpha) src = BlendEach(src, _mm256_maskload_epi32(at, live));
        _mm256_maskstore_epi32(at, live, src);
    }
}

// A run whose colour changes along it.
template <BlendMode B>
FLAT_INLINE void ShadeRun(std::uint32_t* p, int count, __m128 v, __m128 dx) {
    Chain c(v, dx);
    for (int i = 0; i < count; i += 8) Put<B>(p + i, count - i, c.Eight());
}

// Two runs at once, each as ShadeRun: one register holds a pixel of each, p's in the low
// half and q's in the high half, so that one addition of dx steps both. Every pixel's
// colour waits on its left neighbour's addition; this way each addition serves two
// pixels. The shorter run's chain runs on past its end unstored.
template <BlendMode B>
FLAT_INLINE void ShadeTwoRuns(std::uint32_t* p, int count, __m128 v, std::uint32_t* q, int countQ,
                              __m128 w, __m128 dx) {
    const __m256 step = _mm256_set_m128(dx, dx);
    __m256 both = _mm256_set_m128(w, v);
    auto next = [&] {
        const __m256i now = Bytes8(both);
        both = _mm256_add_ps(both, step);
        return now;
    };
    const int n = count > countQ ? count : countQ;
    for (int i = 0; i < n; i += 8) {
        const __m256i c0 = next(), c1 = next(), c2 = next(), c3 = next();
        const __m256i c4 = next(), c5 = next(), c6 = next(), c7 = next();
        // Per half: pixels 0-3 of its run, then 4-7, as words.
        const __m256i first = _mm256_packus_epi16(_mm256_packs_epi32(c0, c1), _mm256_packs_epi32(c2, c3));
        const __m256i last = _mm256_packus_epi16(_mm256_packs_epi32(c4, c5), _mm256_packs_epi32(c6, c7));
        Put<B>(p + i, count - i, _mm256_permute2x128_si256(first, last, 0x20));
        Put<B>(q + i, countQ - i, _mm256_permute2x128_si256(first, last, 0x31));
    }
}

// Asks for the line at p, to write where `write` says (see askToWrite).
FLAT_INLINE void AskFor(std::uintptr_t p, bool write) {
    if (write) {
        __builtin_prefetch(reinterpret_cast<const void*>(p), 1, 3);
    } else {
        _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
    }
}

// Asks for the words of row y from column x0 to x1.
FLAT_INLINE void PrefetchRow(const Target& target, std::int64_t y, std::int64_t x0, std::int64_t x1, bool write) {
    const std::uintptr_t row = reinterpret_cast<std::uintptr_t>(target.colour + static_cast<std::ptrdiff_t>(y) * target.width);
    const std::uintptr_t last = (row + static_cast<std::uintptr_t>(x1) * 4) & ~std::uintptr_t{63};
    for (std::uintptr_t at = (row + static_cast<std::uintptr_t>(x0) * 4) & ~std::uintptr_t{63}; at <= last; at += 64) {
        AskFor(at, write);
    }
}

// EachRow, with the target's words asked for before the rows reach them. The overlay's
// rows are short and lie a target's width apart, so the processor's own prefetching hardly
// starts on them, and the target is larger than the nearest caches. Each row's span is
// asked for three rows ahead, as the row being drawn spans it (the first three across the
// box): a triangle's next rows mostly start and end near where this one does.
template <bool Small, typename Row>
FLAT_INLINE void Walk(TriangleArgs& t, Row&& row) {
    constexpr int kAhead = 3;
    const Target& target = *t.target;
    const std::int64_t x0 = t.x0, x1 = t.x1, y1 = t.y1;
    const bool write = askToWrite;
    for (std::int64_t y = t.y0; y < t.y0 + kAhead && y <= y1; ++y) PrefetchRow(target, y, x0, x1, write);
    EachRow<Small, true>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) {
        if (y + kAhead <= y1) PrefetchRow(target, y + kAhead, xs, xe, write);
        row(y, xs, xe);
    });
}

// The longest row whose words an upright band keeps (see Rows).
constexpr int kBandWords = 32;

template <BlendMode B, bool Small>
FLAT_INLINE void Rows(TriangleArgs& t) {
    const Target& target = *t.target;
    const __m128 base = _mm_loadu_ps(t.base + kDiffuse);
    const __m128 gx = _mm_loadu_ps(t.gx + kDiffuse);
    const __m128 gy = _mm_loadu_ps(t.gy + kDiffuse);
    const __m128 zero = _mm_setzero_ps();
    const bool flat = _mm_movemask_ps(_mm_and_ps(_mm_cmpeq_ps(gx, zero), _mm_cmpeq_ps(gy, zero))) == 0xF;
    if (flat) {
        // base + 0 x ox + 0 y oy is base (give or take the sign of a zero) on every pixel.
        const OneColour colour(OneWord(base));
        Walk<Small>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) {
            FillRun<B>(target.colour + static_cast<std::ptrdiff_t>(y) * target.width + xs,
                       static_cast<int>(xe - xs + 1), colour);
        });
        return;
    }
    auto start = [&](std::int64_t y, std::int64_t xs) {
        const float ox = static_cast<float>(xs) - t.fx0, oy = static_cast<float>(y) - t.fy0;
        return _mm_add_ps(_mm_add_ps(base, _mm_mul_ps(gx, _mm_set1_ps(ox))), _mm_mul_ps(gy, _mm_set1_ps(oy)));
    };
    if (_mm_movemask_ps(_mm_cmpeq_ps(gx, zero)) == 0xF) {
        // Level rows, as a band shaded from top to bottom: each pixel's step of 0 leaves
        // the row's first colour as it is (a zero at most loses its sign), so every row has
        // one colour, rounded once.
        Walk<Small>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) {
            FillRun<B>(target.colour + static_cast<std::ptrdiff_t>(y) * target.width + xs,
                       static_cast<int>(xe - xs + 1), OneColour(OneWord(start(y, xs))));
        });
        return;
    }
    if (_mm_movemask_ps(_mm_cmpeq_ps(gy, zero)) == 0xF) {
        // Upright bands, as in the overlay's bevels: a step of 0 per row leaves every row's
        // start colour at a column the same (a zero at most loses its sign, which rounds
        // alike and steps alike), so rows that start at one column have the same words,
        // however long: the colours of the last start are kept and only grown.
        alignas(32) std::uint32_t words[kBandWords];
        std::int64_t from = 0;
        int made = 0;
        Walk<Small>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) {
            std::uint32_t* const p = target.colour + static_cast<std::ptrdiff_t>(y) * target.width + xs;
            const int count = static_cast<int>(xe - xs + 1);
            if (count > kBandWords) {
                ShadeRun<B>(p, count, start(y, xs), gx);
                return;
            }
            if (xs != from || count > made) {
                Chain c(start(y, xs), gx);
                made = 0;
                for (; made < count; made += 8) {
                    _mm256_store_si256(reinterpret_cast<__m256i*>(words + made), c.Eight());
                }
                from = xs;
            }
            for (int i = 0; i < count; i += 8) {
                Put<B>(p + i, count - i, _mm256_load_si256(reinterpret_cast<const __m256i*>(words + i)));
            }
        });
        return;
    }
    // Rows in twos (see ShadeTwoRuns): a row waits for the next, the last may go alone.
    std::uint32_t* waiting = nullptr;
    int waitingCount = 0;
    __m128 waitingStart = zero;
    Walk<Small>(t, [&](std::int64_t y, std::int64_t xs, std::int64_t xe) {
        std::uint32_t* const p = target.colour + static_cast<std::ptrdiff_t>(y) * target.width + xs;
        const int count = static_cast<int>(xe - xs + 1);
        if (waiting == nullptr) {
            waiting = p, waitingCount = count, waitingStart = start(y, xs);
            return;
        }
        ShadeTwoRuns<B>(waiting, waitingCount, waitingStart, p, count, start(y, xs), gx);
        waiting = nullptr;
    });
    if (waiting != nullptr) ShadeRun<B>(waiting, waitingCount, waitingStart, gx);
}

// Under source-alpha blending, an alpha that is one value over a whole triangle or line
// may settle the blend: at 255 the source replaces the target (Div255(s x 255) is s), at
// 0 the target stays as it is (Div255(d x 255) is d).
enum class Settled { Blend, Replace, Nothing };

FLAT_INLINE Settled ByAlpha(std::uint32_t colour) {
    const std::uint32_t alpha = colour >> 24;
    return alpha == 255 ? Settled::Replace : (alpha == 0 ? Settled::Nothing : Settled::Blend);
}

// No depth, the diffuse colour, no divide by q. Whatever a batch holds was drawn before
// this triangle, so it goes first.
template <BlendMode B>
void DirectEntry(TriangleArgs& t) {
    if (t.batch != nullptr) t.batch->Flush();
    Settled settled = B == BlendMode::SrcAlpha ? Settled::Blend : Settled::Replace;
    constexpr int kAlpha = kDiffuse + 3;
    if (B == BlendMode::SrcAlpha && t.gx[kAlpha] == 0.0f && t.gy[kAlpha] == 0.0f) {
        settled = ByAlpha(OneWord(_mm_set1_ps(t.base[kAlpha])));
    }
    if (settled == Settled::Nothing) return;
    if (settled == Settled::Blend) {
        if (t.small) {
            Rows<BlendMode::SrcAlpha, true>(t);
        } else {
            Rows<BlendMode::SrcAlpha, false>(t);
        }
    } else if (t.small) {
        Rows<BlendMode::Replace, true>(t);
    } else {
        Rows<BlendMode::Replace, false>(t);
    }
}

// A line's pixels eight major-axis steps at a time: the minor coordinates of all eight
// rounded at once in double precision (the same operations as DrawLine's, so the same
// values), the pixels inside the clip fetched, blended and put back one by one. A line
// never visits a pixel twice.
template <BlendMode B>
void DirectLineEntry(const FlatLineArgs& a) {
    const Target& target = *a.target;
    const OneColour colour(OneWord(_mm_load_ps(a.colour)));
    const Settled settled = B == BlendMode::SrcAlpha ? ByAlpha(colour.source) : Settled::Replace;
    if (settled == Settled::Nothing) return;
    const __m256d major0 = _mm256_set1_pd(a.major0), minor0 = _mm256_set1_pd(a.minor0);
    const __m256d slope = _mm256_set1_pd(a.slope), half = _mm256_set1_pd(0.5);
    const __m256d low = _mm256_set1_pd(static_cast<double>(a.minorLo) - 4.0);
    const __m256d high = _mm256_set1_pd(static_cast<double>(a.minorHi) + 4.0);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    // Offset of pixel (major m, minor n): m x major + n x minor.
    const __m256i majorStep = _mm256_set1_epi32(a.xMajor ? 1 : target.width);
    const __m256i minorStep = _mm256_set1_epi32(a.xMajor ? target.width : 1);
    auto minor = [&](__m128i m) {
        __m256d c = _mm256_add_pd(minor0, _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtepi32_pd(m), major0), slope));
        c = _mm256_min_pd(_mm256_max_pd(c, low), high);
        return _mm256_cvtpd_epi32(_mm256_floor_pd(_mm256_add_pd(c, half)));
    };
    int* const base = reinterpret_cast<int*>(target.colour);
    auto minors = [&](__m256i ms) {
        return _mm256_set_m128i(minor(_mm256_extracti128_si256(ms, 1)), minor(_mm256_castsi256_si128(ms)));
    };
    const bool write = askToWrite;
    // Asks for the pixels of the group at major coordinates ms, minor n.
    auto prefetchGroup = [&](__m256i ms, __m256i n) {
        alignas(32) int ahead[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(ahead),
                           _mm256_add_epi32(_mm256_mullo_epi32(ms, majorStep), _mm256_mullo_epi32(n, minorStep)));
        const std::uintptr_t origin = reinterpret_cast<std::uintptr_t>(base);
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            AskFor(origin + static_cast<std::uintptr_t>(ahead[i]) * 4, write);
        }
    };
    // Each group's minor coordinates are found four groups before it is drawn, and its
    // pixels asked for then: along a steep line each lies on a row of its own, where the
    // processor's prefetching cannot guess it. queue[k] holds those of the group k ahead.
    constexpr int kDepth = 4;
    __m256i queue[kDepth] = {};
    __m256i group = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(a.first)), lanes);
    for (int k = 0; k < kDepth && a.first + 8 * k <= a.last; ++k) {
        queue[k] = minors(group);
        if (k > 0) prefetchGroup(group, queue[k]);
        group = _mm256_add_epi32(group, _mm256_set1_epi32(8));
    }
    for (std::int64_t m = a.first; m <= a.last; m += 8) {
        const __m256i ms = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(m)), lanes);
        const __m256i n = queue[0];
        for (int k = 0; k + 1 < kDepth; ++k) queue[k] = queue[k + 1];
        if (m + 8 * kDepth <= a.last) {
            const __m256i after = _mm256_add_epi32(ms, _mm256_set1_epi32(8 * kDepth));
            queue[kDepth - 1] = minors(after);
            prefetchGroup(after, queue[kDepth - 1]);
        }
        __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(a.last - m + 1)), lanes);
        live = _mm256_andnot_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(a.minorLo), n), live);
        live = _mm256_andnot_si256(_mm256_cmpgt_epi32(n, _mm256_set1_epi32(a.minorHi)), live);
        const __m256i at = _mm256_add_epi32(_mm256_mullo_epi32(ms, majorStep), _mm256_mullo_epi32(n, minorStep));
        alignas(32) int where[8], value[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(where), at);
        if (_mm256_movemask_ps(_mm256_castsi256_ps(live)) == 0xFF) {
            // All eight drawn, as along most of a line: fetched and put back without a
            // branch per pixel.
            __m256i out = colour.word;
            if (settled == Settled::Blend) {
#pragma GCC unroll 8
                for (int i = 0; i < 8; ++i) value[i] = base[where[i]];
                out = colour.Over(_mm256_load_si256(reinterpret_cast<const __m256i*>(value)));
            }
            // Each word goes from the register to its pixel, not through memory first.
            const __m128i low = _mm256_castsi256_si128(out), high = _mm256_extracti128_si256(out, 1);
            base[where[0]] = _mm_cvtsi128_si32(low);
            base[where[1]] = _mm_extract_epi32(low, 1);
            base[where[2]] = _mm_extract_epi32(low, 2);
            base[where[3]] = _mm_extract_epi32(low, 3);
            base[where[4]] = _mm_cvtsi128_si32(high);
            base[where[5]] = _mm_extract_epi32(high, 1);
            base[where[6]] = _mm_extract_epi32(high, 2);
            base[where[7]] = _mm_extract_epi32(high, 3);
            continue;
        }
        __m256i out = colour.word;
        if (settled == Settled::Blend) {
            out = colour.Over(_mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, at, live, 4));
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(value), out);
        for (unsigned bits = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(live)));
             bits != 0; bits &= bits - 1) {
            const int i = __builtin_ctz(bits);
            base[where[i]] = value[i];
        }
    }
}

#pragma GCC pop_options

} // namespace

FlatLineFn DirectLine(TriangleFn triangle) {
    if (triangle == nullptr) return nullptr;
    if (triangle == &DirectEntry<BlendMode::SrcAlpha>) return &DirectLineEntry<BlendMode::SrcAlpha>;
    if (triangle == &DirectEntry<BlendMode::Replace>) return &DirectLineEntry<BlendMode::Replace>;
    return nullptr;
}

TriangleFn DirectTriangle(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective) {
    if (!__builtin_cpu_supports("avx2")) return nullptr;
    if (depth != DepthMode::Off || shade != ShadeMode::Diffuse || perspective) return nullptr;
    if (blend == BlendMode::SrcAlpha) return &DirectEntry<BlendMode::SrcAlpha>;
    if (blend == BlendMode::Replace) return &DirectEntry<BlendMode::Replace>;
    return nullptr;
}

#else

TriangleFn DirectTriangle(DepthMode, ShadeMode, BlendMode, bool) { return nullptr; }
FlatLineFn DirectLine(TriangleFn) { return nullptr; }

#endif

} // namespace raster
