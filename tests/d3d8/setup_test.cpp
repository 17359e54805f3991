// The vector triangle setup against the scalar one it stands in for: the same triangles,
// drawn with the same pixel loops, must give the same colour and depth whichever set them
// up, for ordinary shapes and for hostile ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/raster.h"
#include "support/raster_states.h"

namespace {

using Canvas = NoiseCanvas;

enum Look { kRingPass, kPlainBlend, kMinOrMag, kGeneric, kFlat, kCulled, kCulledBack, kLookCount };

raster::State StateFor(Look look, const raster::Texture& texture) {
    raster::State s;
    s.cull = look == kCulled       ? raster::Cull::Clockwise
             : look == kCulledBack ? raster::Cull::CounterClockwise
                                   : raster::Cull::None;
    if (look == kPlainBlend || look == kFlat) {
        AlphaBlend(s);
        s.flat = look == kFlat;
        return s;
    }
    RingStage(s, texture);
    if (look == kMinOrMag) s.stages[0].minFilter = raster::Filter::Point; // each triangle chooses
    if (look == kGeneric) s.addSpecular = true;                           // every slot interpolated
    return s;
}

// A shape of each kind in turn: small and large, cut by the target's edges, beyond the
// guard band, degenerate, on exact sub-pixel ties, with horizontal and nearly horizontal
// or vertical edges, and with non-finite values.
void Shape(int i, std::mt19937& rng, raster::Vertex (&v)[3]) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), pos(-30.0f, 130.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const bool flatQ = i % 3 == 0;
    for (raster::Vertex& x : v) {
        x = {};
        const float q = flatQ ? 0.75f : 0.05f + unit(rng);
        x.x = pos(rng);
        x.y = pos(rng) * 0.6f;
        x.a[raster::kZ] = unit(rng) * 1.2f - 0.1f;
        x.a[raster::kQ] = q;
        for (int k = raster::kDiffuse; k < raster::kAttrCount; ++k) x.a[k] = unit(rng) * 280.0f * q;
        x.a[raster::kTex0] = (unit(rng) * 8.0f - 4.0f) * q;
        x.a[raster::kTex0 + 1] = (unit(rng) * 8.0f - 4.0f) * q;
    }
    switch (i % 12) {
    case 1: case 2: case 3: // small, on quarter pixels so that edges run through centres
        for (raster::Vertex& x : v) {
            x.x = 50.0f + static_cast<float>(static_cast<int>(rng() % 64) - 32) * 0.25f;
            x.y = 30.0f + static_cast<float>(static_cast<int>(rng() % 64) - 32) * 0.25f;
        }
        break;
    case 4: // thin slivers and a triangle as wide as the small test allows and a bit more
        v[1].x = v[0].x + 15.5f + static_cast<float>(rng() % 3), v[1].y = v[0].y + 0.3f;
        v[2].x = v[0].x + 0.5f, v[2].y = v[0].y + 63.0f + static_cast<float>(rng() % 3);
        break;
    case 5: // beyond the guard band, cut down to it
        v[0].x = -40000.0f, v[1].y = 50000.0f * (unit(rng) - 0.3f);
        break;
    case 6: // no area: a point or a line
        v[1] = v[0];
        v[2].x = v[0].x * 2.0f - v[1].x, v[2].y = v[0].y;
        break;
    case 7: // ties of the snap: half a 1/256 pixel, and just either side of it
        for (int k = 0; k < 3; ++k) {
            const float tie = (static_cast<float>(rng() % 4000) + 0.5f) / 256.0f;
            v[k].x = tie, v[k].y = tie * 0.5f + (k == 1 ? 3.0f : 0.0f);
        }
        v[2].x = std::nextafter(v[2].x, 0.0f), v[1].y = std::nextafter(v[1].y, 100.0f);
        v[0].x = 0.5f / 256.0f - 1e-9f;
        break;
    case 8: // non-finite attributes, a non-finite position, q not above zero
        v[0].a[raster::kDiffuse + 1] = nan;
        v[1].a[raster::kTex0] = inf;
        v[2].a[raster::kZ] = nan;
        if (rng() % 2) v[1].x = nan;
        if (rng() % 2) v[0].a[raster::kQ] = v[1].a[raster::kQ] = v[2].a[raster::kQ] = -0.5f;
        break;
    case 9: // covers the whole target and more
        v[0].x = -200.0f, v[0].y = -150.0f, v[1].x = 400.0f, v[1].y = -10.0f, v[2].y = 300.0f;
        break;
    case 10: // a horizontal edge, above or below, of a large triangle, often on pixel centres
        if (i % 48 < 24) v[0].y = std::floor(v[0].y);
        v[1].y = v[0].y, v[1].x = v[0].x + 30.0f;
        v[2].y = v[0].y + (i % 24 < 12 ? 45.0f : -45.0f);
        break;
    case 11: // long edges barely off horizontal or vertical, from one end of the guard band
        v[0].x = -16000.0f, v[0].y = 20.3f + unit(rng);
        v[1].x = 16000.0f, v[1].y = 20.7f + unit(rng);
        v[2].x = 40.0f + unit(rng) / 256.0f, v[2].y = i % 24 < 12 ? -16000.0f : 16000.0f;
        break;
    default: break;
    }
}

TEST(TriangleSetup, VectorSetupGivesTheScalarSetupsPixels) {
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(11);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    // The whole target, a part, one reaching far beyond it, and two that hold no pixel.
    const raster::Rect scissors[] = {{0, 0, 100, 60}, {7, 5, 83, 41}, {-1000000, -5, 1000000, 45},
                                     {30, 10, 30, 50}, {60, 40, 20, 10}};
    for (int look = 0; look < kLookCount; ++look) {
        for (const raster::Rect& scissor : scissors) {
            Canvas out[2] = {Canvas(100, 60), Canvas(100, 60)};
            for (int scalar = 0; scalar < 2; ++scalar) {
                raster::State s = StateFor(static_cast<Look>(look), texture);
                s.forceScalarSetup = scalar != 0;
                raster::Pipeline p;
                p.Compile(s);
                raster::Batch batch;
                std::mt19937 rng(500 + look);
                for (int i = 0; i < 600; ++i) {
                    raster::Vertex v[3];
                    Shape(i, rng, v);
                    // Twice, so that depth ties pass and failures fail too; every other
                    // run of sixteen through a batch.
                    raster::Batch* through = (i / 16) % 2 ? &batch : nullptr;
                    if (through == nullptr) batch.Flush();
                    for (int again = 0; again < 2; ++again)
                        raster::DrawTriangle(out[scalar].target, scissor, p, v[0], v[1], v[2], through);
                }
                batch.Flush();
            }
            EXPECT_EQ(out[0].colour, out[1].colour) << "look " << look << " scissor " << scissor.left;
            EXPECT_EQ(out[0].depth, out[1].depth) << "look " << look << " scissor " << scissor.left;
        }
    }
}

// A strip whose vertices lie `stride` bytes apart, drawn at once by the vector setup and as
// its triangles one by one through the scalar setup, from either parity: the same pixels.
void ExpectStripAsItsTriangles(Look look, const raster::Texture& texture, const raster::Vertex* first,
                               std::size_t stride, int triangles, raster::Rect scissor,
                               const std::string& label) {
    const auto vertex = [&](std::size_t i) -> const raster::Vertex& {
        return *reinterpret_cast<const raster::Vertex*>(reinterpret_cast<const char*>(first) + i * stride);
    };
    for (int odd = 0; odd < 2; ++odd) {
        Canvas out[2] = {Canvas(100, 60), Canvas(100, 60)};
        for (int oneByOne = 0; oneByOne < 2; ++oneByOne) {
            raster::State s = StateFor(look, texture);
            s.forceScalarSetup = oneByOne != 0;
            raster::Pipeline p;
            p.Compile(s);
            raster::Batch batch;
            if (oneByOne == 0) {
                raster::DrawStrip(out[0].target, scissor, p, first, stride, triangles, odd != 0, &batch);
            } else {
                for (std::size_t i = 0; i < static_cast<std::size_t>(triangles); ++i) {
                    const bool swap = ((i + static_cast<std::size_t>(odd)) & 1) != 0;
                    raster::DrawTriangle(out[1].target, scissor, p, vertex(swap ? i + 1 : i),
                                         vertex(swap ? i : i + 1), vertex(i + 2), &batch);
                }
            }
            batch.Settle();
        }
        EXPECT_EQ(out[0].colour, out[1].colour) << label << " odd " << odd;
        EXPECT_EQ(out[0].depth, out[1].depth) << label << " odd " << odd;
    }
}

// A strip drawn at once against its triangles drawn one by one through the scalar setup,
// from an even and an odd start, with vertices apart (a stride wider than a vertex), one
// without a position, some beyond the guard band and a triangle with no area.
TEST(TriangleSetup, StripDrawsItsTrianglesInTurn) {
    struct Spaced {
        raster::Vertex v;
        float unused[5];
    };
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(12);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    constexpr int kTriangles = 60;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (Look look : {kRingPass, kPlainBlend, kFlat, kGeneric}) {
        std::vector<Spaced> strip(kTriangles + 2);
        std::mt19937 rng(900 + look);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int i = 0; i < kTriangles + 2; ++i) {
            raster::Vertex& x = strip[static_cast<std::size_t>(i)].v;
            x = {};
            const float q = 0.2f + unit(rng);
            x.x = static_cast<float>(i) * 1.8f - 6.0f + unit(rng) * 3.0f;
            x.y = (i % 2 ? 8.0f : 40.0f) + unit(rng) * 12.0f;
            x.a[raster::kZ] = unit(rng);
            x.a[raster::kQ] = q;
            for (int k = raster::kDiffuse; k < raster::kAttrCount; ++k) x.a[k] = unit(rng) * 250.0f * q;
        }
        strip[17].v.x = nan;
        strip[30].v.y = 40000.0f;
        strip[31].v.x = -30000.0f;
        strip[45].v = strip[44].v;
        ExpectStripAsItsTriangles(look, texture, &strip[0].v, sizeof(Spaced), kTriangles, {3, 2, 97, 58},
                                  "look " + std::to_string(look));
    }
}

// Strips long and short, across the runs the strip loop snaps its vertices in and the
// groups of eight it boxes its triangles in, ending part-way through either, from either
// parity, culled either way, with vertices repeated (triangles with no area), on and just
// beyond the guard band, far beyond it and not finite, under a scissor that cuts every
// side or not: the same pixels as their triangles one by one.
TEST(TriangleSetup, LongStripsWithHostileVerticesDrawTheirTriangles) {
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(31);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float guard = 16384.0f, beyond = std::nextafter(guard, 2.0f * guard);
    const float hostile[] = {nan, inf, -inf, guard, -guard, beyond, -beyond, 1.0e30f};
    for (Look look : {kRingPass, kPlainBlend, kFlat, kCulled, kCulledBack}) {
        for (int triangles : {1, 2, 7, 9, 61, 62, 63, 64, 125, 131}) {
            std::mt19937 rng(7000 + 10 * look + triangles);
            std::uniform_real_distribution<float> unit(0.0f, 1.0f);
            // Exactly as long as the strip, so that a read past its end is one past the vector.
            std::vector<raster::Vertex> strip(static_cast<std::size_t>(triangles) + 2);
            for (std::size_t i = 0; i < strip.size(); ++i) {
                raster::Vertex& x = strip[i];
                x = {};
                const float q = 0.2f + unit(rng);
                x.x = static_cast<float>(i % 70) * 1.6f - 8.0f + unit(rng) * 4.0f;
                x.y = (i % 2 ? 4.0f : 50.0f) + unit(rng) * 14.0f - 4.0f;
                x.a[raster::kZ] = unit(rng);
                x.a[raster::kQ] = q;
                for (int k = raster::kDiffuse; k < raster::kAttrCount; ++k) x.a[k] = unit(rng) * 250.0f * q;
                if (rng() % 9 == 0) (rng() % 2 ? x.x : x.y) = hostile[rng() % std::size(hostile)];
                if (i > 0 && rng() % 13 == 0) x = strip[i - 1];
            }
            for (const raster::Rect scissor : {raster::Rect{1, 3, 99, 60}, raster::Rect{9, 12, 83, 47}})
                ExpectStripAsItsTriangles(look, texture, strip.data(), sizeof(raster::Vertex), triangles, scissor,
                                          "look " + std::to_string(look) + " n " + std::to_string(triangles) +
                                              " scissor " + std::to_string(scissor.left));
        }
    }
}

// A vertex's depth, q and other attributes (times q) at random.
void RandomAttributes(raster::Vertex& v, std::mt19937& rng, std::uniform_real_distribution<float>& unit) {
    const float q = 0.2f + unit(rng);
    v.a[raster::kZ] = unit(rng);
    v.a[raster::kQ] = q;
    for (int k = raster::kDiffuse; k < raster::kAttrCount; ++k) v.a[k] = unit(rng) * 250.0f * q;
}

// Strips folded at random, so that within a group of eight either winding follows either
// parity, of triangles small and large, some with a vertex beyond the guard band between
// them: blended, so that a triangle drawn out of turn or set up from the wrong corner shows.
TEST(TriangleSetup, FoldedStripsSetEachTriangleUpFromItsOwnCorners) {
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(47);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    for (Look look : {kRingPass, kPlainBlend, kCulled, kCulledBack}) {
        for (int triangles : {3, 8, 13, 62, 70}) {
            std::mt19937 rng(8100 + 10 * look + triangles);
            std::uniform_real_distribution<float> unit(0.0f, 1.0f);
            std::vector<raster::Vertex> strip(static_cast<std::size_t>(triangles) + 2);
            for (std::size_t i = 0; i < strip.size(); ++i) {
                raster::Vertex& x = strip[i];
                x = {};
                // Mostly within a few pixels of the last vertex, now and then far off.
                const float reach = rng() % 5 == 0 ? 40.0f : 6.0f;
                const float cx = i == 0 ? 50.0f : strip[i - 1].x, cy = i == 0 ? 30.0f : strip[i - 1].y;
                x.x = std::clamp(cx + (unit(rng) - 0.5f) * reach, -10.0f, 110.0f);
                x.y = std::clamp(cy + (unit(rng) - 0.5f) * reach, -10.0f, 70.0f);
                if (rng() % 23 == 0) x.x = -20000.0f;
                RandomAttributes(x, rng, unit);
            }
            ExpectStripAsItsTriangles(look, texture, strip.data(), sizeof(raster::Vertex), triangles,
                                      {2, 1, 98, 59},
                                      "folded look " + std::to_string(look) + " n " + std::to_string(triangles));
        }
    }
}

// Strips whose triangles straddle the sizes at which the setup changes its ways: boxes of
// 7 to 9 rows and 15 to 17 columns (tiny or not, small or not) and vertices 64 pixels apart
// give or take a 1/256 (small edges or walkers), on pixel centres and between them.
TEST(TriangleSetup, StripTrianglesOnEitherSideOfTheSmallAndTinySizes) {
    std::uint32_t texels[16 * 8];
    std::mt19937 texelRng(53);
    for (std::uint32_t& t : texels) t = texelRng();
    const raster::Texture texture{texels, 16, 8};
    const float sub = 1.0f / 256.0f;
    const float spans[] = {6.0f, 7.0f, 7.5f, 8.0f, 8.5f, 14.0f, 15.0f, 15.5f, 16.0f, 16.5f,
                           64.0f - sub, 64.0f, 64.0f + sub, 63.5f};
    for (Look look : {kRingPass, kPlainBlend, kCulledBack}) {
        for (int triangles : {9, 40, 66}) {
            std::mt19937 rng(8300 + 10 * look + triangles);
            std::uniform_real_distribution<float> unit(0.0f, 1.0f);
            std::vector<raster::Vertex> strip(static_cast<std::size_t>(triangles) + 2);
            // The even vertices on one row (of pixel centres or between them), now and then
            // off it by a 1/256, so that most triangles have a level edge there and a whole
            // row of pixels along it; the odd ones a span above or below it.
            const float level = 28.0f + (triangles % 2 ? 0.5f : 0.0f);
            float x = 2.0f;
            for (std::size_t i = 0; i < strip.size(); ++i) {
                raster::Vertex& v = strip[i];
                v = {};
                const float along = spans[rng() % std::size(spans)], across = spans[rng() % std::size(spans)];
                x += rng() % 2 ? along * 0.5f : 0.75f;
                if (x > 90.0f) x -= 85.0f;
                v.x = x + (rng() % 4 == 0 ? along : 0.0f);
                v.y = i % 2 ? level + (rng() % 2 ? across : -across) : level + (rng() % 5 == 0 ? sub : 0.0f);
                RandomAttributes(v, rng, unit);
            }
            ExpectStripAsItsTriangles(look, texture, strip.data(), sizeof(raster::Vertex), triangles,
                                      {0, 0, 100, 60},
                                      "sizes look " + std::to_string(look) + " n " + std::to_string(triangles));
        }
    }
}

} // namespace

namespace {

// Triangles that no pixel of can pass the depth test are dropped by the vector setup
// before their rows are walked, and only there. Over a level stored depth with a few
// bumps, triangles of every shape lying a quantum or so either side of it (ties, and
// hostile depths now and then) are drawn blended, so that a wrongly dropped one shows, in
// targets as wide as one read of depths, one more, and wider.
TEST(TriangleSetup, DroppedHiddenTrianglesWouldDrawNothing) {
    for (raster::Cmp func : {raster::Cmp::LessEqual, raster::Cmp::Less}) {
        for (int width : {100, 16, 17}) {
            Canvas out[2] = {Canvas(width, 60), Canvas(width, 60)};
            for (int scalar = 0; scalar < 2; ++scalar) {
                std::mt19937 rng(40 + width);
                for (std::uint16_t& d : out[scalar].depth) d = static_cast<std::uint16_t>(rng() % 9 ? 29491 : 29494);
                raster::State s = StateFor(kPlainBlend, raster::Texture{});
                s.depthFunc = func;
                s.depthWrite = width != 17;
                s.forceScalarSetup = scalar != 0;
                raster::Pipeline p;
                p.Compile(s);
                raster::Batch batch;
                for (int i = 0; i < 3000; ++i) {
                    raster::Vertex v[3];
                    Shape(i, rng, v);
                    for (raster::Vertex& x : v) {
                        if (i % 12 != 8) x.a[raster::kZ] = 0.45f + static_cast<float>(rng() % 64) * 1.0e-6f - 2.0e-5f;
                    }
                    raster::DrawTriangle(out[scalar].target, {0, 0, width, 60}, p, v[0], v[1], v[2], &batch);
                }
                batch.Flush();
            }
            EXPECT_EQ(out[0].colour, out[1].colour) << "func " << static_cast<int>(func) << " width " << width;
            EXPECT_EQ(out[0].depth, out[1].depth) << "func " << static_cast<int>(func) << " width " << width;
        }
    }
}

// The pixel loops step a row's depth along it in float, and with the depth falling by a
// fraction of a float step a pixel each step rounds it down a little further below the
// plane's own value. Triangles whose least depth is at a row's last pixel, a hair either
// side of where the level stored depth rounds to the next, must not be dropped when that
// pixel passes.
TEST(TriangleSetup, DroppingAllowsForTheLoopsRounding) {
    constexpr std::uint16_t kStored = 29491;
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Canvas out[2] = {Canvas(32, 8), Canvas(32, 8)};
    raster::Pipeline p[2];
    for (int scalar = 0; scalar < 2; ++scalar) {
        raster::State s = StateFor(kPlainBlend, raster::Texture{});
        s.forceScalarSetup = scalar != 0;
        p[scalar].Compile(s);
    }
    for (int i = 0; i < 4000; ++i) {
        const float reach = i % 4 < 2 ? 11.5f : 27.5f; // the small triangles' edges and the walkers
        const float perX = -(0.2f + unit(rng) * 4.0f) * 3.0e-8f, perY = (1.0f + unit(rng) * 3.0f) * 1.0e-4f;
        const float edge = (static_cast<float>(kStored) + 0.5f) / 65535.0f + (unit(rng) - 0.5f) * 4.0e-7f;
        raster::Vertex v[3] = {};
        v[0].x = reach, v[0].y = i % 2 ? 2000.0f + unit(rng) * 2000.0f : 9.0f + unit(rng) * 9.0f;
        v[2].x = reach;
        for (raster::Vertex& x : v) {
            x.a[raster::kZ] = edge + perX * (x.x - reach) + perY * x.y;
            x.a[raster::kQ] = 1.0f;
            x.a[raster::kDiffuse + 1] = x.a[raster::kDiffuse + 3] = 255.0f * unit(rng);
        }
        for (int scalar = 0; scalar < 2; ++scalar) {
            std::fill(out[scalar].depth.begin(), out[scalar].depth.end(), kStored);
            raster::DrawTriangle(out[scalar].target, {0, 0, 32, 8}, p[scalar], v[0], v[1], v[2]);
        }
        ASSERT_EQ(out[0].colour, out[1].colour) << "triangle " << i;
    }
}

} // namespace
