// What our d3d8 device offers beyond Direct3D 8, for the rest of the platform only (the
// D3DX font stand-in, the hosts and the tests); the program's Parts never include this.
#pragma once

#include <cstdint>

#include "platform/d3d8.h"

namespace d3d8ext {

// The device's back buffer: width x height words of 0xAARRGGBB, rows packed (pitch = width).
// Null for a device that was not made by our Direct3DCreate8. Triangles drawn within a
// scene may reach it only at EndScene (or at Present, Clear, or another call of this).
std::uint32_t* BackBuffer(IDirect3DDevice8* device, int* width, int* height);

// Blends an 8-bit coverage mask into the back buffer as a textured, alpha-blended quad of
// the same size would be drawn with SRCALPHA/INVSRCALPHA: per pixel the source alpha is
// coverage x alpha(colour) / 255 and the source colour is colour's RGB. The mask's top-left
// lands on back-buffer pixel (x, y); pixels outside `clip` (left/top inclusive,
// right/bottom exclusive; null for none) or outside the current viewport are left alone.
void BlendCoverage(IDirect3DDevice8* device, int x, int y, int width, int height,
                   const std::uint8_t* mask, int maskPitch, D3DCOLOR colour, const RECT* clip);

// One mask of BlendCoverages: as BlendCoverage's arguments of the same names.
struct CoverageMask {
    int x, y, width, height;
    const std::uint8_t* mask;
    int maskPitch;
};

// BlendCoverage of count masks, in order, in one colour and clip: the device is found and
// its pending triangles drawn once for them all (a line of text at a time).
void BlendCoverages(IDirect3DDevice8* device, const CoverageMask* masks, int count, D3DCOLOR colour,
                    const RECT* clip);

// The loop BlendCoverage uses: 0 one pixel at a time, 1 eight at a time (AVX2), 2 eight at
// a time with a row's last pixels under AVX-512 masks. The widest the processor runs is the
// default; a loop it cannot run falls back to the next narrower. Returns the loop now in
// use. For tests that check the loops give the same pixels.
int CoverageLoop(int wanted);

// Pre-transformed vertices go to the screen through the one-vertex-at-a-time loop instead
// of four slots at a time, for tests that check the two give the same pixels.
void TransformOneAtATime(IDirect3DDevice8* device, bool on);

// Makes the Direct3D object and a device the way the program does (width x height
// A8R8G8B8 back buffer, 16-bit depth, software vertex processing) on a stand-in focus
// window, for benchmarks and tests that draw without the program's start-up. Returns the
// device's HRESULT; *d3d is set whenever the object could be made.
HRESULT CreateScreenDevice(UINT width, UINT height, IDirect3D8** d3d, IDirect3DDevice8** device);

} // namespace d3d8ext
