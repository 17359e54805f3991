// States the program draws with, for the rasteriser's cross-checks.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

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

// A colour and depth buffer filled with scattered values, so that depths across the range
// meet in one row (lanes pass and fail side by side) and any pixel written shows.
struct NoiseCanvas {
    NoiseCanvas(int w, int h) : colour(static_cast<std::size_t>(w) * h), depth(colour.size()) {
        for (std::size_t i = 0; i < colour.size(); ++i) {
            colour[i] = static_cast<std::uint32_t>(i * 2654435761u);
            depth[i] = static_cast<std::uint16_t>(i * 40503u);
        }
        target = {colour.data(), depth.data(), w, h};
    }
    std::vector<std::uint32_t> colour;
    std::vector<std::uint16_t> depth;
    raster::Target target;
};

// Texels of noise and their wrapped copy, which is filled with a marker first so that a
// word BuildWrapped leaves out would show.
struct NoiseTexture {
    NoiseTexture(int w, int h, unsigned seed)
        : texels(static_cast<std::size_t>(w) * h), wrapped(raster::WrappedWords(w, h), 0xDEADBEEFu) {
        std::mt19937 rng(seed);
        for (std::uint32_t& t : texels) t = rng();
        texture = {texels.data(), w, h};
        raster::BuildWrapped(texture, wrapped.data());
    }
    // As the wide loops take it, with the copy, or the one-pixel loops, given no copy so
    // that they cannot read it.
    raster::Texture For(bool narrow) const {
        raster::Texture t = texture;
        t.wrapped = narrow ? nullptr : wrapped.data();
        return t;
    }
    std::vector<std::uint32_t> texels;
    std::vector<std::uint32_t> wrapped;
    raster::Texture texture; // without the copy
};
