// Temporary definitions so that everything links while the device is written.
#include "platform/d3d8.h"
#include "platform/d3d8_ext.h"

IDirect3D8* Direct3DCreate8(UINT) { return nullptr; }

namespace d3d8ext {
std::uint32_t* BackBuffer(IDirect3DDevice8*, int*, int*) { return nullptr; }
void BlendCoverage(IDirect3DDevice8*, int, int, int, int, const std::uint8_t*, int, D3DCOLOR,
                   const RECT*) {}
} // namespace d3d8ext
