// The overlay batch: one array of pre-transformed 2D vertices per frame, its shape primitives
// and the flush that draws it as triangles, lines, then triangles again.
#include <new>

#include "scene/scene.h"
#include "state/app_state.h"
#include "ui/overlay.h"

namespace {

constexpr DWORD kOverlayFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr D3DCOLOR kOpaqueBlack = 0xFF000000;

// One DrawPrimitive per primitive, so that each triangle or segment is drawn on its own.
// Only whole primitives are drawn: a group that is empty or ends in a partial primitive
// never reads into the next group or past the filled part of the buffer.
void DrawGroup(IDirect3DDevice8* device, D3DPRIMITIVETYPE type, std::uint32_t first,
               std::uint32_t vertexCount, std::uint32_t perPrimitive) {
    const std::uint32_t primitives = vertexCount / perPrimitive;
    for (std::uint32_t i = 0; i < primitives; ++i) {
        device->DrawPrimitive(type, first + perPrimitive * i, 1);
    }
}

} // namespace

void CreateOverlayBatch() {
    // Made once: a second call keeps the array already there.
    if (app.overlayVertices == nullptr) {
        app.overlayVertices = new (std::nothrow) OverlayVertex[app.overlayCapacity];
    }
    MakeVertexBuffer(app.overlayCapacity * sizeof(OverlayVertex), app.overlayVertexBuffer);
}

void ReleaseOverlayBatch() {
    delete[] app.overlayVertices;
    app.overlayVertices = nullptr;
    app.overlayVertexCount = 0;
    if (app.overlayVertexBuffer != nullptr) {
        app.overlayVertexBuffer->Release();
        app.overlayVertexBuffer = nullptr;
    }
}

void AddVertex(float x, float y, float z, D3DCOLOR colour) {
    // A full (or missing) array drops the vertex rather than writing past its end.
    if (app.overlayVertices == nullptr || app.overlayVertexCount >= app.overlayCapacity) {
        return;
    }
    app.overlayVertices[app.overlayVertexCount++] = OverlayVertex{x, y, z, 0.5f, colour};
}

void AddQuad(float x0, float y0, float x1, float y1, D3DCOLOR cTopLeft, D3DCOLOR cTopRight,
             D3DCOLOR cBottomLeft, D3DCOLOR cBottomRight) {
    AddQuadPoints(x0, y0, x1, y0, x0, y1, x1, y1, cTopLeft, cTopRight, cBottomLeft, cBottomRight);
}

void AddQuadPoints(float p0x, float p0y, float p1x, float p1y, float p2x, float p2y, float p3x,
                   float p3y, D3DCOLOR c0, D3DCOLOR c1, D3DCOLOR c2, D3DCOLOR c3) {
    AddVertex(p0x, p0y, 0.0f, c0);
    AddVertex(p1x, p1y, 0.0f, c1);
    AddVertex(p2x, p2y, 0.0f, c2);
    AddVertex(p1x, p1y, 0.0f, c1);
    AddVertex(p3x, p3y, 0.0f, c3);
    AddVertex(p2x, p2y, 0.0f, c2);
}

void AddBevel(float x0, float y0, float x1, float y1, float w, D3DCOLOR inner, D3DCOLOR outer,
              std::int32_t cornerMode) {
    // The inner bottom-right corner takes the rim colour in mode 1, which shades the lower
    // right of the band as a raised or sunken edge.
    const D3DCOLOR corner = cornerMode == 1 ? outer : inner;
    const float ix0 = x0 + w;
    const float iy0 = y0 + w;
    const float ix1 = x1 - w;
    const float iy1 = y1 - w;
    AddQuadPoints(x0, y0, ix0, iy0, x0, y1, ix0, iy1, outer, inner, outer, inner);
    AddQuadPoints(x0, y0, x1, y0, ix0, iy0, ix1, iy0, outer, outer, inner, inner);
    AddQuadPoints(ix1, iy0, x1, y0, ix1, iy1, x1, y1, inner, outer, corner, outer);
    AddQuadPoints(ix0, iy1, ix1, iy1, x0, y1, x1, y1, inner, corner, outer, outer);
}

void AddPanelBox(float x0, float y0, float x1, float y1, float w, D3DCOLOR bevelInner,
                 D3DCOLOR bevelOuter, D3DCOLOR fillTopLeft, D3DCOLOR fillRest) {
    AddQuad(x0, y0, x1, y1, fillTopLeft, fillRest, fillRest, fillRest);
    AddBevel(x0, y0, x1, y1, w, bevelInner, bevelOuter, 0);
}

void AddButtonBox(float x0, float y0, float x1, float y1, float w, D3DCOLOR bevelInner,
                  D3DCOLOR bevelOuter, D3DCOLOR fillMain, D3DCOLOR fillBottomRight) {
    AddQuad(x0, y0, x1, y1, fillMain, fillMain, fillMain, fillBottomRight);
    AddBevel(x0, y0, x1, y1, w, bevelInner, bevelOuter, 1);
}

void AddArrow(std::int32_t x, std::int32_t y, std::int32_t length, D3DCOLOR colour) {
    // The black third vertex shades the arrow towards its lower edge.
    AddVertex(static_cast<float>(x), static_cast<float>(y - 7), 0.0f, colour);
    AddVertex(static_cast<float>(x + length), static_cast<float>(y), 0.0f, colour);
    AddVertex(static_cast<float>(x), static_cast<float>(y + 7), 0.0f, kOpaqueBlack);
}

void AddBar(std::int32_t cx, std::int32_t cy, std::int32_t halfWidth, std::int32_t halfHeight,
            D3DCOLOR colour) {
    const float left = static_cast<float>(cx - halfWidth);
    const float right = static_cast<float>(cx + halfWidth);
    const float top = static_cast<float>(cy - halfHeight);
    const float bottom = static_cast<float>(cy + halfHeight);
    AddVertex(left, top, 0.0f, colour);
    AddVertex(right, top, 0.0f, colour);
    AddVertex(left, bottom, 0.0f, colour);
    AddVertex(right, top, 0.0f, colour);
    AddVertex(left, bottom, 0.0f, colour);
    AddVertex(right, bottom, 0.0f, kOpaqueBlack);
}

void FlushOverlay() {
    IDirect3DDevice8* device = app.device;
    if (device == nullptr) {
        return;
    }
    // The states stay as set; the ring drawing sets its own at the next frame's start.
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetVertexShader(kOverlayFvf);
    device->SetStreamSource(0, app.overlayVertexBuffer, sizeof(OverlayVertex));

    const std::uint32_t back = app.backVertexCount;
    const std::uint32_t lines = app.lineVertexCount;
    DrawGroup(device, D3DPT_TRIANGLELIST, 0, back, 3);
    DrawGroup(device, D3DPT_LINELIST, back, lines, 2);
    DrawGroup(device, D3DPT_TRIANGLELIST, back + lines, app.frontVertexCount, 3);
}
