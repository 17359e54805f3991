// What our device offers beyond Direct3D 8: its back buffer, and coverage masks (text)
// blended straight into it.
#include "platform/d3d8_ext.h"

#include <algorithm>
#include <cstddef>

#include "platform/d3d8_device.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define EXT_WIDE 1
#else
#define EXT_WIDE 0
#endif

namespace d3d8ext {
namespace {

// A block of coverage over the target, one pixel at a time: the colour's alpha scaled by
// the coverage, then a source-alpha blend of the colour with that alpha.
void BlendBlock(std::uint32_t* row, std::ptrdiff_t pitch, const std::uint8_t* coverage,
                std::ptrdiff_t maskPitch, int count, int rows, std::uint32_t rgb, std::uint32_t alpha) {
    for (int y = 0; y < rows; ++y, row += pitch, coverage += maskPitch) {
        for (int i = 0; i < count; ++i) {
            const std::uint32_t c = coverage[i];
            if (c == 0) continue;
            const std::uint32_t a = raster::Div255(c * alpha);
            row[i] = raster::BlendSrcAlpha(rgb | (a << 24), row[i], a);
        }
    }
}

using BlockFn = void (*)(std::uint32_t*, std::ptrdiff_t, const std::uint8_t*, std::ptrdiff_t, int,
                         int, std::uint32_t, std::uint32_t);

#if EXT_WIDE
// The same eight pixels at a time, compiled for AVX2 and called only where it runs.
#pragma GCC push_options
#pragma GCC target("avx2")

#define EXT_INLINE inline __attribute__((always_inline))

// Div255 of 16-bit lanes holding at most 255 x 255: (x + 128 + (x + 128) / 256) / 256 is
// the same rounding.
EXT_INLINE __m256i Div255x16(__m256i x) {
    x = _mm256_add_epi16(x, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

// What every group of a block blends with, set up once a block.
struct Blend8Setup {
    __m256i zero, colour, alphaChannel, scale, full;
};

EXT_INLINE Blend8Setup SetUpBlend8(std::uint32_t rgb, std::uint32_t alpha) {
    Blend8Setup k;
    k.zero = _mm256_setzero_si256();
    // b, g, r, 0 of every pixel as 16-bit channels, and where each pixel's alpha goes.
    k.colour = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(rgb)), k.zero);
    k.alphaChannel = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
    k.scale = _mm256_set1_epi32(static_cast<int>(alpha));
    k.full = _mm256_set1_epi16(255);
    return k;
}

// Eight pixels of dst blended with the coverages in the low bytes of cover's 32-bit lanes.
EXT_INLINE __m256i Blend8(const Blend8Setup& k, __m256i cover, __m256i dst) {
    // Each pixel's alpha in the low half of its 32-bit lane (the high half stays 0).
    const __m256i a = Div255x16(_mm256_mullo_epi16(cover, k.scale));
    // Spread over the pixel's four channels in the order the unpacks below take them:
    // pixels 0, 1 | 4, 5 and 2, 3 | 6, 7.
    const __m256i pair = _mm256_or_si256(a, _mm256_slli_epi32(a, 16));
    const __m256i a0 = _mm256_unpacklo_epi32(pair, pair), a1 = _mm256_unpackhi_epi32(pair, pair);
    const __m256i s0 = _mm256_or_si256(k.colour, _mm256_and_si256(a0, k.alphaChannel));
    const __m256i s1 = _mm256_or_si256(k.colour, _mm256_and_si256(a1, k.alphaChannel));
    const __m256i d0 = _mm256_unpacklo_epi8(dst, k.zero), d1 = _mm256_unpackhi_epi8(dst, k.zero);
    const __m256i x0 = _mm256_add_epi16(_mm256_mullo_epi16(s0, a0),
                                        _mm256_mullo_epi16(d0, _mm256_sub_epi16(k.full, a0)));
    const __m256i x1 = _mm256_add_epi16(_mm256_mullo_epi16(s1, a1),
                                        _mm256_mullo_epi16(d1, _mm256_sub_epi16(k.full, a1)));
    return _mm256_packus_epi16(Div255x16(x0), Div255x16(x1));
}

// A row's last n < 8 pixels or coverages are read and written in pieces of 4, 2 and 1, never
// past its end: a masked store is slow on some processors, and the glyphs' rows are
// mostly shorter than eight.
EXT_INLINE __m256i LoadPixels(const std::uint32_t* p, int n) {
    __m128i first = _mm_setzero_si128(), rest = _mm_setzero_si128();
    if (n & 4) first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), p += 4;
    if (n & 2) rest = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), p += 2;
    if (n & 1) rest = (n & 2) ? _mm_insert_epi32(rest, static_cast<int>(*p), 2)
                              : _mm_cvtsi32_si128(static_cast<int>(*p));
    return (n & 4) ? _mm256_set_m128i(rest, first) : _mm256_castsi128_si256(rest);
}

EXT_INLINE void StorePixels(std::uint32_t* p, int n, __m256i v) {
    __m128i rest = _mm256_castsi256_si128(v);
    if (n & 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), rest);
        rest = _mm256_extracti128_si256(v, 1), p += 4;
    }
    if (n & 2) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), rest);
        rest = _mm_srli_si128(rest, 8), p += 2;
    }
    if (n & 1) *p = static_cast<std::uint32_t>(_mm_cvtsi128_si32(rest));
}

EXT_INLINE std::uint64_t LoadCoverage(const std::uint8_t* c, int n) {
    std::uint64_t bytes = 0;
    int shift = 0;
    if (n & 4) {
        std::uint32_t four;
        __builtin_memcpy(&four, c, 4);
        bytes = four, c += 4, shift = 32;
    }
    if (n & 2) {
        std::uint16_t two;
        __builtin_memcpy(&two, c, 2);
        bytes |= static_cast<std::uint64_t>(two) << shift, c += 2, shift += 16;
    }
    if (n & 1) bytes |= static_cast<std::uint64_t>(*c) << shift;
    return bytes;
}

EXT_INLINE __m256i Spread(std::uint64_t bytes) {
    return _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(bytes)));
}

void BlendBlockWide(std::uint32_t* row, std::ptrdiff_t pitch, const std::uint8_t* coverage,
                    std::ptrdiff_t maskPitch, int count, int rows, std::uint32_t rgb,
                    std::uint32_t alpha) {
    const Blend8Setup k = SetUpBlend8(rgb, alpha);
    const int whole = count & ~7, n = count & 7;
    for (int y = 0; y < rows; ++y, row += pitch, coverage += maskPitch) {
        for (int i = 0; i < whole; i += 8) {
            std::uint64_t bytes;
            __builtin_memcpy(&bytes, coverage + i, 8);
            if (bytes == 0) continue;
            __m256i* at = reinterpret_cast<__m256i*>(row + i);
            _mm256_storeu_si256(at, Blend8(k, Spread(bytes), _mm256_loadu_si256(at)));
        }
        if (n == 0) continue;
        const std::uint64_t bytes = LoadCoverage(coverage + whole, n);
        if (bytes == 0) continue;
        StorePixels(row + whole, n, Blend8(k, Spread(bytes), LoadPixels(row + whole, n)));
    }
}

#pragma GCC pop_options

// The same again, a row's last pixels read and written through AVX-512 masks, which are
// cheap on the processors that have them.
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512vl")
// GCC 12's AVX-512 headers make their "undefined" lanes from a variable set to itself,
// which its own -Wuninitialized then reports at every use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

EXT_INLINE __m512i Div255x32(__m512i x) {
    x = _mm512_add_epi16(x, _mm512_set1_epi16(128));
    return _mm512_srli_epi16(_mm512_add_epi16(x, _mm512_srli_epi16(x, 8)), 8);
}

// Blend8 on sixteen pixels: two rows of eight, each 128-bit lane worked as Blend8 works its.
EXT_INLINE __m512i Blend16(const Blend8Setup& k8, __m512i cover, __m512i dst) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i colour = _mm512_broadcast_i64x4(k8.colour);
    const __m512i alphaChannel = _mm512_broadcast_i64x4(k8.alphaChannel);
    const __m512i full = _mm512_set1_epi16(255);
    const __m512i a = Div255x32(_mm512_mullo_epi16(cover, _mm512_broadcast_i64x4(k8.scale)));
    const __m512i pair = _mm512_or_si512(a, _mm512_slli_epi32(a, 16));
    const __m512i a0 = _mm512_unpacklo_epi32(pair, pair), a1 = _mm512_unpackhi_epi32(pair, pair);
    const __m512i s0 = _mm512_or_si512(colour, _mm512_and_si512(a0, alphaChannel));
    const __m512i s1 = _mm512_or_si512(colour, _mm512_and_si512(a1, alphaChannel));
    const __m512i d0 = _mm512_unpacklo_epi8(dst, zero), d1 = _mm512_unpackhi_epi8(dst, zero);
    const __m512i x0 = _mm512_add_epi16(_mm512_mullo_epi16(s0, a0),
                                        _mm512_mullo_epi16(d0, _mm512_sub_epi16(full, a0)));
    const __m512i x1 = _mm512_add_epi16(_mm512_mullo_epi16(s1, a1),
                                        _mm512_mullo_epi16(d1, _mm512_sub_epi16(full, a1)));
    return _mm512_packus_epi16(Div255x32(x0), Div255x32(x1));
}

void BlendBlockMasked(std::uint32_t* row, std::ptrdiff_t pitch, const std::uint8_t* coverage,
                      std::ptrdiff_t maskPitch, int count, int rows, std::uint32_t rgb,
                      std::uint32_t alpha) {
    const Blend8Setup k = SetUpBlend8(rgb, alpha);
    int y = 0;
    if (count <= 8) {
        // A glyph's rows are mostly this narrow: two rows to a group.
        const __mmask8 live = static_cast<__mmask8>((1u << count) - 1);
        for (; y + 2 <= rows; y += 2, row += 2 * pitch, coverage += 2 * maskPitch) {
            const __m128i bytes = _mm_unpacklo_epi64(_mm_maskz_loadu_epi8(live, coverage),
                                                     _mm_maskz_loadu_epi8(live, coverage + maskPitch));
            if (_mm_test_all_zeros(bytes, bytes)) continue;
            const __m512i dst = _mm512_inserti64x4(
                _mm512_castsi256_si512(_mm256_maskz_loadu_epi32(live, row)),
                _mm256_maskz_loadu_epi32(live, row + pitch), 1);
            const __m512i out = Blend16(k, _mm512_cvtepu8_epi32(bytes), dst);
            _mm256_mask_storeu_epi32(row, live, _mm512_castsi512_si256(out));
            _mm256_mask_storeu_epi32(row + pitch, live, _mm512_extracti64x4_epi64(out, 1));
        }
    }
    for (; y < rows; ++y, row += pitch, coverage += maskPitch) {
        for (int i = 0; i < count; i += 8) {
            const int n = count - i < 8 ? count - i : 8;
            const __mmask8 live = static_cast<__mmask8>((1u << n) - 1);
            const __m128i bytes = _mm_maskz_loadu_epi8(live, coverage + i);
            if (_mm_cvtsi128_si64(bytes) == 0) continue;
            const __m256i dst = _mm256_maskz_loadu_epi32(live, row + i);
            _mm256_mask_storeu_epi32(row + i, live, Blend8(k, _mm256_cvtepu8_epi32(bytes), dst));
        }
    }
}

#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

bool CanBlend(int loop) {
#if EXT_WIDE
    __builtin_cpu_init();
    if (loop == 1) return __builtin_cpu_supports("avx2");
    if (loop == 2) {
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    }
#endif
    return loop == 0;
}

BlockFn BlockFor(int loop) {
#if EXT_WIDE
    if (loop == 2) return &BlendBlockMasked;
    if (loop == 1) return &BlendBlockWide;
#endif
    return &BlendBlock;
}

int WidestLoop() {
    int loop = 2;
    while (!CanBlend(loop)) --loop;
    return loop;
}

BlockFn blendBlock = BlockFor(WidestLoop());

} // namespace

std::uint32_t* BackBuffer(IDirect3DDevice8* device, int* width, int* height) {
    d3d8::Device* d = d3d8::FromInterface(device);
    if (d == nullptr) return nullptr;
    if (width != nullptr) *width = d->target().width;
    if (height != nullptr) *height = d->target().height;
    return d->target().colour;
}

void TransformOneAtATime(IDirect3DDevice8* device, bool on) {
    if (d3d8::Device* d = d3d8::FromInterface(device)) d->SetOneAtATime(on);
}

HRESULT CreateScreenDevice(UINT width, UINT height, IDirect3D8** d3d, IDirect3DDevice8** device) {
    if (d3d == nullptr || device == nullptr) return D3DERR_INVALIDCALL;
    *device = nullptr;
    *d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (*d3d == nullptr) return E_FAIL;
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = D3DFMT_A8R8G8B8;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    // The device only needs a non-null focus window; nothing is ever shown in it.
    static int focusWindow;
    return (*d3d)->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                reinterpret_cast<HWND>(&focusWindow),
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, device);
}

namespace {

// The viewport cut to the clip rectangle: where any mask may land.
raster::Rect CoverageBounds(d3d8::Device& d, const RECT* clip) {
    raster::Rect r = d.ViewportRect();
    if (clip != nullptr) {
        r.left = std::max<int>(r.left, clip->left);
        r.top = std::max<int>(r.top, clip->top);
        r.right = std::min<int>(r.right, clip->right);
        r.bottom = std::min<int>(r.bottom, clip->bottom);
    }
    return r;
}

void BlendMask(const raster::Target& t, const raster::Rect& r, const CoverageMask& m,
               std::uint32_t rgb, std::uint32_t alpha) {
    if (m.mask == nullptr || m.width <= 0 || m.height <= 0) return;
    // Work in 64 bits so that a mask far off screen cannot overflow the bounds.
    long long x0 = std::max<long long>(r.left, m.x);
    long long y0 = std::max<long long>(r.top, m.y);
    long long x1 = std::min<long long>(r.right, static_cast<long long>(m.x) + m.width);
    long long y1 = std::min<long long>(r.bottom, static_cast<long long>(m.y) + m.height);
    if (x0 >= x1 || y0 >= y1) return;
    blendBlock(t.colour + static_cast<std::ptrdiff_t>(y0) * t.width + x0, t.width,
               m.mask + static_cast<std::ptrdiff_t>(y0 - m.y) * m.maskPitch + (x0 - m.x), m.maskPitch,
               static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), rgb, alpha);
}

} // namespace

void BlendCoverage(IDirect3DDevice8* device, int x, int y, int width, int height,
                   const std::uint8_t* mask, int maskPitch, D3DCOLOR colour, const RECT* clip) {
    const CoverageMask one{x, y, width, height, mask, maskPitch};
    BlendCoverages(device, &one, 1, colour, clip);
}

void BlendCoverages(IDirect3DDevice8* device, const CoverageMask* masks, int count, D3DCOLOR colour,
                    const RECT* clip) {
    d3d8::Device* d = d3d8::FromInterface(device);
    if (d == nullptr || masks == nullptr || count <= 0) return;
    const raster::Rect r = CoverageBounds(*d, clip);
    const raster::Target& t = d->target();
    const std::uint32_t rgb = colour & 0x00FFFFFFu;
    const std::uint32_t alpha = colour >> 24;
    for (int i = 0; i < count; ++i) BlendMask(t, r, masks[i], rgb, alpha);
}

int CoverageLoop(int wanted) {
    int loop = std::clamp(wanted, 0, 2);
    while (!CanBlend(loop)) --loop;
    blendBlock = BlockFor(loop);
    return loop;
}

} // namespace d3d8ext
