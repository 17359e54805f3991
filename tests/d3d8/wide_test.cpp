// The eight-pixel triangle and line loops against the one-pixel loops they stand in for:
// the same shapes under every state that has a wide loop must give the same colour and
// depth.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "platform/raster.h"
#include "platform/raster_span.h"
#include "support/raster_states.h"

namespace {

using Canvas = NoiseCanvas;

enum Kind { kPlain, kTextured };

raster::State StateFor(Kind kind, bool depth, bool blend, const raster::Texture& texture) {
    raster::State s;
    s.cull = raster::Cull::None;
    s.depthTest = depth;
    AlphaBlend(s);
    s.blend = blend;
    if (kind == kTextured) RingStage(s, texture);
    return s;
}

// Sixteen-pixel shading on or off for a scope, as the processor allows; then the default.
struct Sixteen {
    explicit Sixteen(bool on) { raster::ShadeSixteen(on); }
    ~Sixteen() { raster::ShadeSixteen(true); }
};

// The state's loops, or the one-pixel loops for it.
raster::Pipeline PipelineFor(raster::State s, bool narrow) {
    s.forceNarrow = narrow;
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

// Triangles and lines of every size, some with wild attributes, drawn twice over (so depth ties
// and failures both occur) with and without the per-pixel divide.
TEST(WideLoops, SamePixelsAsTheOnePixelLoops) {
    const NoiseTexture noise(16, 8, 7);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (Kind kind : {kPlain, kTextured}) {
        for (int flags = 0; flags < 8; ++flags) {
            const bool depth = flags & 1, blend = flags & 2, perspective = flags & 4;
            Canvas out[2] = {Canvas(96, 64), Canvas(96, 64)};
            for (int narrow = 0; narrow < 2; ++narrow) {
                const raster::Pipeline p = PipelineFor(StateFor(kind, depth, blend, noise.texture), narrow != 0);
                std::mt19937 rng(1234 + flags);
                std::uniform_real_distribution<float> pos(-20.0f, 110.0f), unit(0.0f, 1.0f);
                for (int i = 0; i < 300; ++i) {
                    raster::Vertex v[3] = {};
                    for (raster::Vertex& x : v) {
                        const float q = perspective ? 0.05f + unit(rng) : 0.5f;
                        x.x = pos(rng);
                        x.y = pos(rng) * 0.7f;
                        x.a[raster::kZ] = unit(rng) * 1.2f - 0.1f;
                        x.a[raster::kQ] = q;
                        for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k)
                            x.a[k] = unit(rng) * 300.0f * q;
                        x.a[raster::kTex0] = (unit(rng) * 6.0f - 3.0f) * q;
                        x.a[raster::kTex0 + 1] = (unit(rng) * 6.0f - 3.0f) * q;
                    }
                    if (i % 2 == 0) {
                        // Small ones, on quarter pixels so that edges run through centres.
                        std::uniform_int_distribution<int> quarter(-24, 24);
                        for (raster::Vertex& x : v) {
                            x.x = 40.0f + quarter(rng) * 0.25f + (i % 7);
                            x.y = 30.0f + quarter(rng) * 0.25f - (i % 5);
                        }
                    }
                    if (i % 50 == 7) v[i % 3].a[raster::kDiffuse + 1] = nan;
                    if (i % 50 == 19) v[i % 3].a[raster::kTex0] = inf;
                    if (i % 50 == 31) v[i % 3].a[raster::kZ] = nan;
                    if (i % 50 == 43) v[i % 3].a[raster::kTex0 + 1] = nan;
                    for (int again = 0; again < 2; ++again) {
                        raster::DrawTriangle(out[narrow].target, {0, 0, 96, 64}, p, v[0], v[1], v[2]);
                        raster::DrawLine(out[narrow].target, {0, 0, 96, 64}, p, v[1], v[2]);
                    }
                }
            }
            EXPECT_EQ(out[0].colour, out[1].colour) << kind << " " << flags;
            EXPECT_EQ(out[0].depth, out[1].depth) << kind << " " << flags;
        }
    }
}

// The texture filtered from its wrapped copy (BuildWrapped) by the wide loops against the
// one-pixel loops, which read the texels: sizes down to one texel each way, where the
// wrap meets itself, and coordinates from tiny to far beyond the int32 range, NaN and
// infinite, so that every wrap of the copy's extra column and row is read.
//
// Textured wide loops shade eight or, where the processor can, sixteen pixels at a time:
// both are checked.
TEST(WideLoops, WrappedCopyFiltersAsTheTexels) {
    for (const bool sixteen : {false, true}) {
        const Sixteen lanes(sixteen);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        const int sizes[][2] = {{1, 1}, {1, 8}, {8, 1}, {2, 2}, {16, 4}, {64, 32}};
        for (const auto& size : sizes) {
            const int w = size[0], h = size[1];
            const NoiseTexture noise(w, h, static_cast<unsigned>(w * 31 + h));
            for (int flags = 0; flags < 8; ++flags) {
                const bool depth = flags & 1, blend = flags & 2, perspective = flags & 4;
                Canvas out[2] = {Canvas(64, 48), Canvas(64, 48)};
                for (int narrow = 0; narrow < 2; ++narrow) {
                    const raster::Pipeline p =
                        PipelineFor(StateFor(kTextured, depth, blend, noise.For(narrow != 0)), narrow != 0);
                    std::mt19937 rng(99 + flags);
                    std::uniform_real_distribution<float> pos(-8.0f, 72.0f), unit(0.0f, 1.0f);
                    const float scales[] = {1.0f, 40.0f, 3.0e5f, 1.0e9f};
                    for (int i = 0; i < 120; ++i) {
                        raster::Vertex v[3] = {};
                        const float scale = scales[i % 4];
                        for (raster::Vertex& x : v) {
                            const float q = perspective ? 0.05f + unit(rng) : 0.5f;
                            x.x = pos(rng);
                            x.y = pos(rng);
                            x.a[raster::kZ] = unit(rng);
                            x.a[raster::kQ] = q;
                            for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k) x.a[k] = unit(rng) * 255.0f * q;
                            x.a[raster::kTex0] = (unit(rng) * 2.0f - 1.0f) * scale * q;
                            x.a[raster::kTex0 + 1] = (unit(rng) * 2.0f - 1.0f) * scale * q;
                        }
                        if (i % 20 == 3) v[0].a[raster::kTex0] = nan;
                        if (i % 20 == 9) v[1].a[raster::kTex0 + 1] = -inf;
                        if (i % 20 == 15) v[2].a[raster::kTex0] = 1.0e30f;
                        raster::DrawTriangle(out[narrow].target, {0, 0, 64, 48}, p, v[0], v[1], v[2]);
                    }
                }
                EXPECT_EQ(out[0].colour, out[1].colour) << w << "x" << h << " " << flags << " " << sixteen;
                EXPECT_EQ(out[0].depth, out[1].depth) << w << "x" << h << " " << flags << " " << sixteen;
            }
        }
    }
}

// Triangles of every pixel count from 1 to 40, shaded as one queue each, so that every
// count of pixels in the last group (and the copies that fill it up) comes up in both the
// eight- and sixteen-pixel shading: rows alone, where a group's pixels lie side by side,
// and slopes over several rows, where they jump from row to row. Each shape's own attributes
// differ from pixel to pixel, so that a pixel shaded with another's attributes, or stored
// to another's place, shows; some carry NaN, infinite or huge values.
TEST(WideLoops, EveryQueueLengthShadesEachPixelAsItsOwn) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const bool sixteen : {false, true}) {
        const Sixteen lanes(sixteen);
        const NoiseTexture noise(32, 16, 3);
        for (int shape = 0; shape < 2; ++shape) {
            Canvas out[2] = {Canvas(96, 96), Canvas(96, 96)};
            for (int narrow = 0; narrow < 2; ++narrow) {
                const raster::Pipeline p =
                    PipelineFor(StateFor(kTextured, false, false, noise.For(narrow != 0)), narrow != 0);
                std::mt19937 rng(17 + shape);
                std::uniform_real_distribution<float> unit(0.0f, 1.0f);
                for (int n = 1; n <= 40; ++n) {
                    raster::Vertex v[3] = {};
                    if (shape == 0) {
                        // One row of n pixels: centres 0.5 .. n - 0.5 from the left edge.
                        const float x = 3.0f, y = 2.0f * n;
                        v[0].x = x - 0.5f, v[0].y = y - 0.5f;
                        v[1].x = x - 0.5f + 2.0f * n, v[1].y = y - 0.5f;
                        v[2].x = x - 0.5f, v[2].y = y + 0.5f;
                    } else {
                        // A steep sliver whose rows hold one to a few pixels each.
                        const float x = 2.0f + 2.0f * n, y = 1.0f + (n % 5) * 9.0f;
                        v[0].x = x, v[0].y = y;
                        v[1].x = x + 1.0f + n * 0.1f, v[1].y = y + 0.3f;
                        v[2].x = x + 0.6f, v[2].y = y + n * 0.9f;
                    }
                    for (raster::Vertex& x : v) {
                        const float q = 0.05f + unit(rng);
                        x.a[raster::kZ] = unit(rng);
                        x.a[raster::kQ] = q;
                        for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k)
                            x.a[k] = (unit(rng) * 320.0f - 30.0f) * q;
                        x.a[raster::kTex0] = (unit(rng) * 8.0f - 4.0f) * q;
                        x.a[raster::kTex0 + 1] = (unit(rng) * 8.0f - 4.0f) * q;
                    }
                    if (n % 9 == 2) v[n % 3].a[raster::kDiffuse + (n % 4)] = nan;
                    if (n % 9 == 4) v[n % 3].a[raster::kTex0 + (n % 2)] = inf;
                    if (n % 9 == 6) v[n % 3].a[raster::kTex0] = -3.0e9f;
                    if (n % 9 == 8) v[n % 3].a[raster::kQ] = nan;
                    raster::DrawTriangle(out[narrow].target, {0, 0, 96, 96}, p, v[0], v[1], v[2]);
                }
            }
            EXPECT_EQ(out[0].colour, out[1].colour) << shape << " " << sixteen;
        }
    }
}

} // namespace

// Many small triangles heaped on a few pixels, drawn through one batch so that groups of
// eight hold several triangles' pixels, often the same pixel twice: blending and depth
// must come out as if each triangle were drawn alone, in order. Textured too, where the
// wide loops filter from the wrapped copy and shade a full queue in stretches of groups.
TEST(WideLoops, BatchedTrianglesKeepTheirOrder) {
    const NoiseTexture noise(16, 8, 11);
    for (const bool sixteen : {false, true}) {
        const Sixteen lanes(sixteen);
        for (Kind kind : {kPlain, kTextured}) {
            for (int flags = 0; flags < 8; ++flags) {
                const bool depth = flags & 1, blend = flags & 2, perspective = flags & 4;
                Canvas out[2] = {Canvas(16, 12), Canvas(16, 12)};
                for (int narrow = 0; narrow < 2; ++narrow) {
                    const raster::Pipeline p =
                        PipelineFor(StateFor(kind, depth, blend, noise.For(narrow != 0)), narrow != 0);
                    raster::Batch batch;
                    std::mt19937 rng(77 + flags);
                    std::uniform_real_distribution<float> pos(2.0f, 9.0f), unit(0.0f, 1.0f);
                    for (int i = 0; i < 400; ++i) {
                        raster::Vertex v[3] = {};
                        for (raster::Vertex& x : v) {
                            const float q = perspective ? 0.05f + unit(rng) : 1.0f;
                            x.x = pos(rng);
                            x.y = pos(rng);
                            x.a[raster::kZ] = unit(rng);
                            x.a[raster::kQ] = q;
                            for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k) x.a[k] = unit(rng) * 255.0f * q;
                            x.a[raster::kTex0] = (unit(rng) * 6.0f - 3.0f) * q;
                            x.a[raster::kTex0 + 1] = (unit(rng) * 6.0f - 3.0f) * q;
                        }
                        raster::DrawTriangle(out[narrow].target, {0, 0, 16, 12}, p, v[0], v[1], v[2],
                                             narrow != 0 ? nullptr : &batch);
                    }
                    batch.Flush();
                }
                EXPECT_EQ(out[0].colour, out[1].colour) << kind << " " << flags << " " << sixteen;
                EXPECT_EQ(out[0].depth, out[1].depth) << kind << " " << flags << " " << sixteen;
            }
        }
    }
}

// Depth is tested as rows are queued, eight stored depths read and written at once; a
// target whose width is no multiple of eight puts the last pixels of the buffer, and rows
// that end there, inside such a group. Large triangles reaching past every side, small
// ones in the corner, and depths that pass in scattered lanes must still leave every
// pixel as the one-pixel loops do, and nothing beyond the buffer may be touched.
TEST(WideLoops, DepthAtTheTargetsLastPixels) {
    for (int flags = 0; flags < 8; ++flags) {
        const bool blend = flags & 1, batched = flags & 2;
        // With a guard row under the target, or with none, so that a read past the end
        // of the buffer shows under the address sanitiser.
        const int guard = (flags & 4) ? 1 : 0;
        constexpr int kW = 13, kH = 7, kSize = kW * kH;
        Canvas out[2] = {Canvas(kW, kH + guard), Canvas(kW, kH + guard)};
        for (int narrow = 0; narrow < 2; ++narrow) {
            raster::Target target = out[narrow].target;
            target.height = kH;
            const raster::Pipeline p = PipelineFor(StateFor(kPlain, true, blend, {}), narrow != 0);
            raster::Batch batch;
            std::mt19937 rng(5 + flags);
            std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-30.0f, 45.0f);
            std::uniform_real_distribution<float> corner(8.0f, 14.0f);
            for (int i = 0; i < 200; ++i) {
                raster::Vertex v[3] = {};
                for (raster::Vertex& x : v) {
                    x.x = i % 2 == 0 ? wide(rng) : corner(rng);
                    x.y = i % 2 == 0 ? wide(rng) : corner(rng) - 6.0f;
                    // Around the stored depths' range, so that lanes pass and fail.
                    x.a[raster::kZ] = unit(rng);
                    x.a[raster::kQ] = 1.0f;
                    for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k) x.a[k] = unit(rng) * 255.0f;
                }
                if (i % 40 == 13) v[0].a[raster::kZ] = std::numeric_limits<float>::quiet_NaN();
                if (i % 40 == 27) v[1].a[raster::kZ] = -std::numeric_limits<float>::infinity();
                raster::DrawTriangle(target, {0, 0, kW, kH}, p, v[0], v[1], v[2],
                                     batched && narrow == 0 ? &batch : nullptr);
            }
            batch.Flush();
        }
        EXPECT_EQ(out[0].colour, out[1].colour) << flags;
        EXPECT_EQ(out[0].depth, out[1].depth) << flags;
        const Canvas untouched(kW, kH + guard);
        for (int i = kSize; i < kSize + kW * guard; ++i) {
            EXPECT_EQ(out[0].depth[i], untouched.depth[i]) << flags << " " << i;
            EXPECT_EQ(out[0].colour[i], untouched.colour[i]) << flags << " " << i;
        }
    }
}
