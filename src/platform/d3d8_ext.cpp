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

// One row of coverage over the target, one pixel at a time: the colour's alpha scaled by
// the coverage, then a source-alpha blend of the colour with that alpha.
void BlendRow(std::uint32_t* row, const std::uint8_t* coverage, int count, std::uint32_t rgb,
              std::uint32_t alpha) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t c = coverage[i];
        if (c == 0) continue;
        const std::uint32_t a = raster::Div255(c * alpha);
        row[i] = raster::BlendSrcAlpha(rgb | (a << 24), row[i], a);
    }
}

#if EXT_WIDE
// The same eight pixels at a time, compiled for AVX2 and called only where it runs.
#pragma GCC push_options
#pragma GCC target("avx2")

// Div255 of 16-bit lanes holding at most 255 x 255: (x + 128 + (x + 128) / 256) / 256 is
// the same rounding.
inline __attribute__((always_inline)) __m256i Div255x16(__m256i x) {
    x = _mm256_add_epi16(x, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

void BlendRowWide(std::uint32_t* row, const std::uint8_t* coverage, int count, std::uint32_t rgb,
                  std::uint32_t alpha) {
    const __m256i zero = _mm256_setzero_si256();
    // b, g, r, 0 of every pixel as 16-bit channels, and where each pixel's alpha goes.
    const __m256i colour = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(rgb)), zero);
    const __m256i alphaChannel = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
    const __m256i scale = _mm256_set1_epi32(static_cast<int>(alpha));
    const __m256i full = _mm256_set1_epi16(255);
    for (int i = 0; i < count; i += 8) {
        const int n = count - i < 8 ? count - i : 8;
        // The row's last coverages are read in pieces of 4, 2 and 1, never past its end.
        std::uint64_t bytes = 0;
        if (n == 8) {
            __builtin_memcpy(&bytes, coverage + i, 8);
        } else {
            const std::uint8_t* c = coverage + i;
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
        }
        if (bytes == 0) continue;
        // Each pixel's alpha in the low half of its 32-bit lane (the high half stays 0).
        const __m256i a = Div255x16(_mm256_mullo_epi16(
            _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(bytes))), scale));
        // Spread over the pixel's four channels in the order the unpacks below take them:
        // pixels 0, 1 | 4, 5 and 2, 3 | 6, 7.
        const __m256i pair = _mm256_or_si256(a, _mm256_slli_epi32(a, 16));
        const __m256i a0 = _mm256_unpacklo_epi32(pair, pair), a1 = _mm256_unpackhi_epi32(pair, pair);
        const __m256i s0 = _mm256_or_si256(colour, _mm256_and_si256(a0, alphaChannel));
        const __m256i s1 = _mm256_or_si256(colour, _mm256_and_si256(a1, alphaChannel));
        int* at = reinterpret_cast<int*>(row + i);
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256i dst = n == 8 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))
                                   : _mm256_maskload_epi32(at, live);
        const __m256i d0 = _mm256_unpacklo_epi8(dst, zero), d1 = _mm256_unpackhi_epi8(dst, zero);
        const __m256i x0 = _mm256_add_epi16(_mm256_mullo_epi16(s0, a0),
                                            _mm256_mullo_epi16(d0, _mm256_sub_epi16(full, a0)));
        const __m256i x1 = _mm256_add_epi16(_mm256_mullo_epi16(s1, a1),
                                            _mm256_mullo_epi16(d1, _mm256_sub_epi16(full, a1)));
        const __m256i out = _mm256_packus_epi16(Div255x16(x0), Div255x16(x1));
        if (n == 8) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), out);
        } else {
            _mm256_maskstore_epi32(at, live, out);
        }
    }
}

#pragma GCC pop_options
#endif

using RowFn = void (*)(std::uint32_t*, const std::uint8_t*, int, std::uint32_t, std::uint32_t);

RowFn PickRow() {
#if EXT_WIDE
    if (__builtin_cpu_supports("avx2")) return &BlendRowWide;
#endif
    return &BlendRow;
}

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

void BlendCoverage(IDirect3DDevice8* device, int x, int y, int width, int height,
                   const std::uint8_t* mask, int maskPitch, D3DCOLOR colour, const RECT* clip) {
    d3d8::Device* d = d3d8::FromInterface(device);
    if (d == nullptr || mask == nullptr || width <= 0 || height <= 0) return;
    raster::Rect r = d->ViewportRect();
    if (clip != nullptr) {
        r.left = std::max<int>(r.left, clip->left);
        r.top = std::max<int>(r.top, clip->top);
        r.right = std::min<int>(r.right, clip->right);
        r.bottom = std::min<int>(r.bottom, clip->bottom);
    }
    // Work in 64 bits so that a mask far off screen cannot overflow the bounds.
    long long x0 = std::max<long long>(r.left, x);
    long long y0 = std::max<long long>(r.top, y);
    long long x1 = std::min<long long>(r.right, static_cast<long long>(x) + width);
    long long y1 = std::min<long long>(r.bottom, static_cast<long long>(y) + height);
    if (x0 >= x1 || y0 >= y1) return;

    const raster::Target& t = d->target();
    const std::uint32_t rgb = colour & 0x00FFFFFFu;
    const std::uint32_t alpha = colour >> 24;
    static const RowFn blendRow = PickRow();
    for (long long py = y0; py < y1; ++py) {
        const std::uint8_t* m = mask + static_cast<std::ptrdiff_t>(py - y) * maskPitch + (x0 - x);
        std::uint32_t* row = t.colour + static_cast<std::ptrdiff_t>(py) * t.width + x0;
        blendRow(row, m, static_cast<int>(x1 - x0), rgb, alpha);
    }
}

} // namespace d3d8ext
