// The disc scene: texture, ring geometry, ring drawing and the frame with its camera.
#pragma once

#include <cstdint>

#include "platform/d3d8.h"

// The ring mesh vertex, FVF 0x252 (XYZ | NORMAL | DIFFUSE | TEX2).
struct RingVertex {
    float x, y, z;
    float nx, ny, nz;     // not unit length
    D3DCOLOR diffuse;
    float u0, v0;         // read by texture stage 0
    float u1, v1;         // read by no stage
};
static_assert(sizeof(RingVertex) == 44);

void CreateSceneResources();
void BuildDiscTexture();
void CreateRingStorage();
void BuildRingMesh(std::int32_t ring, float angle);
HRESULT MakeVertexBuffer(std::uint32_t byteLength, IDirect3DVertexBuffer8*& buffer);
HRESULT UploadVertices(IDirect3DVertexBuffer8* buffer, const void* source, std::uint32_t byteCount);
void DrawRingMesh(std::int32_t pass);
void RenderFrame();
// Gives back the array, the buffer and the texture CreateSceneResources made, so that a
// process running the program more than once leaves nothing behind. Call it before the
// device is released.
void ReleaseSceneResources();
