// What our device offers beyond Direct3D 8: its back buffer, and coverage masks (text)
// blended straight into it.
#include "platform/d3d8_ext.h"

#include <algorithm>
#include <cstddef>

#include "platform/d3d8_device.h"

namespace d3d8ext {

std::uint32_t* BackBuffer(IDirect3DDevice8* device, int* width, int* height) {
    d3d8::Device* d = d3d8::FromInterface(device);
    if (d == nullptr) return nullptr;
    if (width != nullptr) *width = d->target().width;
    if (height != nullptr) *height = d->target().height;
    return d->target().colour;
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
    for (long long py = y0; py < y1; ++py) {
        const std::uint8_t* m = mask + static_cast<std::ptrdiff_t>(py - y) * maskPitch;
        std::uint32_t* row = t.colour + static_cast<std::ptrdiff_t>(py) * t.width;
        for (long long px = x0; px < x1; ++px) {
            std::uint32_t coverage = m[px - x];
            if (coverage == 0) continue;
            std::uint32_t a = raster::Div255(coverage * alpha);
            row[px] = raster::BlendSrcAlpha(rgb | (a << 24), row[px], a);
        }
    }
}

} // namespace d3d8ext
