// The loops that bound a large triangle's rows by two edges at a time (those from the top
// vertex, then the lower edge from the middle vertex's row on) against the one-pixel loops,
// which take the nearest of all of them on every row. Where the two meet is where a fault
// would show: the middle vertex on a row, a 1/256 pixel either side of one, level top and
// bottom edges, scissors that start or end at the middle vertex's row, and slivers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/raster.h"
#include "support/raster_states.h"

namespace {

constexpr int kW = 120, kH = 90;

struct Canvas : NoiseCanvas {
    Canvas() : NoiseCanvas(kW, kH) {}
};

// The ring pass (textured, depth), shaded with depth, and shaded without depth (drawn
// straight into the target).
enum Look { kRingPass, kShadedDepth, kShadedOnly, kLookCount };

raster::State StateFor(Look look, const raster::Texture& texture) {
    raster::State s;
    s.cull = raster::Cull::None;
    if (look == kRingPass) {
        RingStage(s, texture);
    } else {
        AlphaBlend(s);
        s.depthTest = look == kShadedDepth;
    }
    return s;
}

// Depth, q, colour and texture position of a vertex, the last two times q.
void Attributes(std::mt19937& rng, raster::Vertex& x) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    x.a[raster::kZ] = unit(rng);
    x.a[raster::kQ] = 0.2f + unit(rng);
    for (int c = raster::kDiffuse; c < raster::kDiffuse + 4; ++c) x.a[c] = unit(rng) * 255.0f * x.a[raster::kQ];
    x.a[raster::kTex0] = unit(rng) * 3.0f * x.a[raster::kQ];
    x.a[raster::kTex0 + 1] = unit(rng) * 3.0f * x.a[raster::kQ];
}

// A large triangle with its middle vertex at row `row` plus `off`, left or right of the
// edge from top to bottom, in the vertex order `turn` (0-5: three rotations, both windings).
// Kinds: any, a level top edge, a level bottom edge, a sliver whose middle vertex lies
// 1/256 pixel off the long edge.
void Shape(int kind, float row, float off, bool right, int turn, std::mt19937& rng, raster::Vertex (&v)[3]) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float ym = row + off;
    raster::Vertex t{}, m{}, b{};
    t.x = 10.0f + 100.0f * unit(rng), t.y = ym - 2.0f - 40.0f * unit(rng);
    b.x = 10.0f + 100.0f * unit(rng), b.y = ym + 2.0f + 40.0f * unit(rng);
    const float along = t.x + (b.x - t.x) * (ym - t.y) / (b.y - t.y);
    m.x = along + (right ? 1.0f : -1.0f) * (3.0f + 40.0f * unit(rng)), m.y = ym;
    if (kind == 1) t.y = ym;
    if (kind == 2) b.y = ym;
    if (kind == 3) m.x = std::round(along * 256.0f) / 256.0f + (right ? 1.0f : -1.0f) / 256.0f;
    const raster::Vertex order[3] = {t, m, b};
    for (int k = 0; k < 3; ++k) Attributes(rng, v[turn < 3 ? k : 2 - k] = order[(k + turn) % 3]);
}

// The whole setup and the one-pixel loops first, then each fast setup with the fast loops,
// and the fast setup with the one-pixel loops.
struct Way {
    bool scalarSetup, narrow;
};
constexpr Way kWays[] = {{true, true}, {false, false}, {true, false}, {false, true}};

raster::Pipeline PipelineFor(Look look, const raster::Texture& texture, const Way& way) {
    raster::State s = StateFor(look, texture);
    s.forceScalarSetup = way.scalarSetup;
    s.forceNarrow = way.narrow;
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

TEST(RowWalk, TwoEdgesAtATimeAsAllOfThem) {
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(21);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    // On a row, 1/256 either side, half way, and just short of the next row.
    const float offsets[] = {0.0f, 1.0f / 256.0f, -1.0f / 256.0f, 0.5f, 255.0f / 256.0f};
    for (int look = 0; look < kLookCount; ++look) {
        std::vector<Canvas> out(4);
        for (int w = 0; w < 4; ++w) {
            const raster::Pipeline p = PipelineFor(static_cast<Look>(look), texture, kWays[w]);
            std::mt19937 rng(77 + look);
            raster::Batch batch;
            for (int i = 0; i < 1200; ++i) {
                const float row = static_cast<float>(20 + static_cast<int>(rng() % 50));
                raster::Vertex v[3];
                Shape(i % 4, row, offsets[i % 5], (i / 4) % 2 != 0, (i / 8) % 6, rng, v);
                // Cut at the middle vertex's row m (the first at or below it): not at all,
                // from m, from the row after, up to the row before, and rows m - 1 and m.
                const int m = static_cast<int>(std::ceil(row + offsets[i % 5]));
                const raster::Rect scissors[] = {
                    {0, 0, kW, kH}, {0, m, kW, kH}, {0, m + 1, kW, kH}, {0, 0, kW, m}, {3, m - 1, kW - 3, m + 1}};
                // Every other run of 48 through a batch, as the frame draws.
                raster::Batch* through = (i / 48) % 2 ? &batch : nullptr;
                if (through == nullptr) batch.Flush();
                raster::DrawTriangle(out[w].target, scissors[(i / 48) % 5], p, v[0], v[1], v[2], through);
            }
            batch.Flush();
        }
        EXPECT_NE(out[0].colour, Canvas().colour) << "look " << look;
        for (int w = 1; w < 4; ++w) {
            EXPECT_EQ(out[0].colour, out[w].colour) << "look " << look << " way " << w;
            EXPECT_EQ(out[0].depth, out[w].depth) << "look " << look << " way " << w;
        }
    }
}

// Edges from far beyond the target (within the guard band, where the walkers' steps and
// remainders are largest, and beyond it, cut down to it), slivers a 1/256 pixel from
// level or upright, and triangles whose middle vertex lies outside the target.
TEST(RowWalk, HugeAndThinAsAllOfThem) {
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(22);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    for (int look = 0; look < kLookCount; ++look) {
        std::vector<Canvas> out(4);
        for (int w = 0; w < 4; ++w) {
            const raster::Pipeline p = PipelineFor(static_cast<Look>(look), texture, kWays[w]);
            std::mt19937 rng(91 + look);
            std::uniform_real_distribution<float> far(-16000.0f, 16000.0f), near(-30.0f, 150.0f), unit(0.0f, 1.0f);
            for (int i = 0; i < 600; ++i) {
                raster::Vertex v[3] = {};
                for (raster::Vertex& x : v) {
                    x.x = near(rng), x.y = near(rng);
                    Attributes(rng, x);
                }
                switch (i % 5) {
                case 0: // two vertices far out, one near
                    v[0].x = far(rng), v[0].y = far(rng), v[1].x = far(rng), v[1].y = far(rng);
                    break;
                case 1: // beyond the guard band, cut down to it
                    v[1].x = 60000.0f * (unit(rng) - 0.5f), v[2].y = 60000.0f * (unit(rng) - 0.5f);
                    break;
                case 2: // nearly level, across the target and beyond
                    v[0].x = -9000.0f, v[1].x = 9000.0f, v[2].x = near(rng);
                    v[1].y = v[0].y + 1.0f / 256.0f, v[2].y = v[0].y + (unit(rng) - 0.5f) * 3.0f;
                    break;
                case 3: // nearly upright
                    v[0].y = -9000.0f, v[1].y = 9000.0f, v[2].y = near(rng);
                    v[1].x = v[0].x + 1.0f / 256.0f, v[2].x = v[0].x + (unit(rng) - 0.5f) * 3.0f;
                    break;
                default: // the middle vertex far to one side, the others within reach
                    v[1].x = (i % 2 ? -1.0f : 1.0f) * 15000.0f, v[1].y = (v[0].y + v[2].y) * 0.5f;
                    break;
                }
                raster::DrawTriangle(out[w].target, {0, 0, kW, kH}, p, v[0], v[1], v[2]);
            }
        }
        EXPECT_NE(out[0].colour, Canvas().colour) << "look " << look;
        for (int w = 1; w < 4; ++w) {
            EXPECT_EQ(out[0].colour, out[w].colour) << "look " << look << " way " << w;
            EXPECT_EQ(out[0].depth, out[w].depth) << "look " << look << " way " << w;
        }
    }
}

} // namespace
