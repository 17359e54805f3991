// The overlay: the per-frame batch of pre-transformed 2D vertices and its primitives, the
// control panel and its commands, the overlay drawing and the information panel.
#pragma once

#include <cstdint>

#include "platform/d3d8.h"

// The layout the device reads for FVF 0x44 (XYZRHW | DIFFUSE).
struct OverlayVertex {
    float x;
    float y;
    float z;
    float rhw;
    D3DCOLOR colour;
};
static_assert(sizeof(OverlayVertex) == 20);

void CreateOverlayBatch();
void AddVertex(float x, float y, float z, D3DCOLOR colour);
void AddQuad(float x0, float y0, float x1, float y1, D3DCOLOR cTopLeft, D3DCOLOR cTopRight,
             D3DCOLOR cBottomLeft, D3DCOLOR cBottomRight);
void AddQuadPoints(float p0x, float p0y, float p1x, float p1y, float p2x, float p2y, float p3x,
                   float p3y, D3DCOLOR c0, D3DCOLOR c1, D3DCOLOR c2, D3DCOLOR c3);
void AddBevel(float x0, float y0, float x1, float y1, float w, D3DCOLOR inner, D3DCOLOR outer,
              std::int32_t cornerMode);
void AddPanelBox(float x0, float y0, float x1, float y1, float w, D3DCOLOR bevelInner,
                 D3DCOLOR bevelOuter, D3DCOLOR fillTopLeft, D3DCOLOR fillRest);
void AddButtonBox(float x0, float y0, float x1, float y1, float w, D3DCOLOR bevelInner,
                  D3DCOLOR bevelOuter, D3DCOLOR fillMain, D3DCOLOR fillBottomRight);
void AddArrow(std::int32_t x, std::int32_t y, std::int32_t length, D3DCOLOR colour);
void AddBar(std::int32_t cx, std::int32_t cy, std::int32_t halfWidth, std::int32_t halfHeight,
            D3DCOLOR colour);
void FlushOverlay();
// Frees the batch and releases its buffer, for tests and tools that start the program again
// in one process; the program itself keeps both until it exits.
void ReleaseOverlayBatch();

void CreateControlPanel();
// Deletes the controls and clears their fields, for the same purpose.
void ReleaseControlPanel();
void HandleCommand(std::int32_t id, std::int32_t code);
void DrawOverlay();
void DrawInfoPanel();
