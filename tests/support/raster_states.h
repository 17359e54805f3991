// States the program draws with, for the rasteriser's cross-checks.
#pragma once

#include "platform/raster.h"

// The ring pass's stage 0: the lit colour over the texture by the texture's alpha, filtered.
inline void RingStage(raster::State& s, const raster::Texture& texture) {
    raster::Stage& g = s.stages[0];
    g.colourOp = raster::kOpBlendTextureAlpha;
    g.colourArg1 = raster::kArgDiffuse;
    g.colourArg2 = raster::kArgTexture;
    g.alphaOp = raster::kOpSelect1;
    g.alphaArg1 = raster::kArgTexture | raster::kArgAlphaReplicate;
    g.magFilter = g.minFilter = raster::Filter::Linear;
    g.texture = texture;
}

// The overlay's source-alpha blending.
inline void AlphaBlend(raster::State& s) {
    s.blend = true;
    s.srcBlend = raster::Factor::SrcAlpha;
    s.destBlend = raster::Factor::InvSrcAlpha;
}
