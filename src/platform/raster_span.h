// Inside the rasteriser: one horizontal run of pixels handed from setup to a pixel loop,
// and the choice of pixel loop for a state.
#pragma once

#include <cstdint>

#include "platform/raster.h"

namespace raster {

struct SpanArgs {
    std::uint32_t* colour;             // the run's first pixel
    std::uint16_t* depth;              // its depth, null when the state reads no depth
    int count;                         // pixels in the run, at least 1
    bool minified;                     // stage 0 texture is minified (min filter applies)
    const State* state;
    alignas(16) float v[kAttrCount];   // attributes at the first pixel's centre
    alignas(16) float dx[kAttrCount];  // their change from one pixel to the next
};

// How each part of the pixel work is done; the common cases get their own loops.
enum class DepthMode : std::uint8_t { Off, LessEqualWrite, Any };
enum class ShadeMode : std::uint8_t {
    Diffuse,        // the interpolated diffuse colour, untextured
    ModulatePoint,  // texture x diffuse, texture alpha (Direct3D's default stage 0)
    ModulateLinear,
    BlendPoint,     // diffuse x texAlpha + texture x (1 - texAlpha), texture alpha
    BlendLinear,
    Generic         // any stages, addressing, specular
};
enum class BlendMode : std::uint8_t { Replace, SrcAlpha, Any };

SpanFn PickSpan(DepthMode depth, ShadeMode shade, BlendMode blend, bool perspective);

} // namespace raster
