// Triangles held back by a batch and drawn at Settle against the same triangles drawn at once
// in order: the colour and depth of every pixel must agree, ties of depth above all, where
// the later triangle must win whichever of the two was held.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/raster.h"
#include "support/raster_states.h"

namespace {

struct Canvas {
    Canvas(int w, int h) : colour(static_cast<std::size_t>(w) * h, 0xFF000000u), depth(colour.size(), 0xFFFF) {
        target = {colour.data(), depth.data(), w, h};
    }
    std::vector<std::uint32_t> colour;
    std::vector<std::uint16_t> depth;
    raster::Target target;
};

struct Triangle {
    raster::Vertex v[3];
};

// A triangle of one colour on the plane z, in the given winding.
Triangle Flat(float x0, float y0, float x1, float y1, float x2, float y2, float z, std::uint32_t colour) {
    Triangle t = {};
    const float xy[3][2] = {{x0, y0}, {x1, y1}, {x2, y2}};
    for (int i = 0; i < 3; ++i) {
        raster::Vertex& v = t.v[i];
        v.x = xy[i][0];
        v.y = xy[i][1];
        v.a[raster::kZ] = z;
        v.a[raster::kQ] = 1.0f;
        for (int k = 0; k < 4; ++k) v.a[raster::kDiffuse + k] = static_cast<float>((colour >> (8 * k)) & 0xFF);
    }
    return t;
}

Triangle Reversed(Triangle t) {
    std::swap(t.v[1], t.v[2]);
    return t;
}

raster::Pipeline Opaque(const raster::Texture& texture) {
    raster::State s;
    s.cull = raster::Cull::None;
    if (texture.texels != nullptr) RingStage(s, texture);
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

raster::Pipeline Blended() {
    raster::State s;
    s.cull = raster::Cull::None;
    AlphaBlend(s);
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

// The triangles drawn once at once and once through a holding batch, settled at the end.
void ExpectSameAsAtOnce(const std::vector<Triangle>& triangles, const raster::Pipeline& p, int w, int h,
                        const char* what) {
    Canvas now(w, h), later(w, h);
    raster::Batch batch(true);
    for (const Triangle& t : triangles) {
        raster::DrawTriangle(now.target, {0, 0, w, h}, p, t.v[0], t.v[1], t.v[2]);
        raster::DrawTriangle(later.target, {0, 0, w, h}, p, t.v[0], t.v[1], t.v[2], &batch);
    }
    batch.Settle();
    EXPECT_EQ(now.colour, later.colour) << what;
    EXPECT_EQ(now.depth, later.depth) << what;
}

TEST(HeldTriangles, OnlyOpaqueDepthWritingStatesHold) {
    const std::uint32_t texel = 0x80FF8000u;
    EXPECT_TRUE(Opaque({}).Holds());
    EXPECT_TRUE(Opaque({&texel, 1, 1}).Holds());
    EXPECT_FALSE(Blended().Holds());
    raster::Pipeline p;
    for (int i = 0; i < 5; ++i) {
        raster::State t;
        t.cull = raster::Cull::None;
        if (i == 0) t.depthWrite = false;
        if (i == 1) t.depthFunc = raster::Cmp::Less;
        if (i == 2) t.alphaTest = true;
        if (i == 3) t.forceNarrow = true;
        if (i == 4) t.cull = raster::Cull::CounterClockwise;
        p.Compile(t);
        EXPECT_FALSE(p.Holds()) << i;
    }
}

// Each triangle met again at the very same depth in the other winding, in both orders, so
// that every pixel is a tie between a held triangle and one drawn at once; the later
// colour must stay.
TEST(HeldTriangles, TiesGoToTheLaterTriangle) {
    const raster::Pipeline p = Opaque({});
    std::vector<Triangle> triangles;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pos(-4.0f, 36.0f), unit(0.0f, 1.0f);
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t first = 0xFF000000u | (rng() & 0xFFFFFFu), second = 0xFF000000u | (rng() & 0xFFFFFFu);
        const float z = unit(rng) < 0.2f ? 1.0f : unit(rng); // some at the cleared depth itself
        const Triangle t = Flat(pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), z, first);
        Triangle again = i % 2 == 0 ? Reversed(t) : t;
        for (raster::Vertex& v : again.v)
            for (int k = 0; k < 4; ++k) v.a[raster::kDiffuse + k] = static_cast<float>((second >> (8 * k)) & 0xFF);
        triangles.push_back(i % 4 < 2 ? t : Reversed(t));
        triangles.push_back(again);
    }
    ExpectSameAsAtOnce(triangles, p, 32, 32, "ties");
}

// Closed strips around a box, as the rings are drawn: faces of both windings, near and far,
// sharing edges, with perspective and a texture; strips through DrawStrip.
TEST(HeldTriangles, StripsOfBothWindingsAsAtOnce) {
    std::vector<std::uint32_t> texels(16 * 8);
    std::mt19937 rng(9);
    for (std::uint32_t& t : texels) t = rng();
    std::vector<std::uint32_t> wrapped(raster::WrappedWords(16, 8));
    raster::Texture texture = {texels.data(), 16, 8};
    raster::BuildWrapped(texture, wrapped.data());
    texture.wrapped = wrapped.data();
    for (int textured = 0; textured < 2; ++textured) {
        const raster::Pipeline p = Opaque(textured ? texture : raster::Texture{});
        constexpr int kW = 48, kH = 40, kSteps = 24;
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        Canvas now(kW, kH), later(kW, kH);
        raster::Batch batch(true);
        for (int ring = 0; ring < 6; ++ring) {
            // A tube around a circle, seen from above at a slant: each strip a slice of it.
            const float cx = 8.0f + unit(rng) * 32.0f, cy = 8.0f + unit(rng) * 24.0f;
            const float radius = 4.0f + unit(rng) * 10.0f, tube = 1.0f + unit(rng) * 3.0f;
            for (int s = 0; s < kSteps; ++s) {
                raster::Vertex strip[2 * (kSteps / 2 + 2)] = {};
                int n = 0;
                for (int j = 0; j < kSteps / 2 + 2; ++j) {
                    for (int side = 0; side < 2; ++side) {
                        const float phi = 6.2831853f * static_cast<float>(s + side) / kSteps;
                        const float psi = 6.2831853f * static_cast<float>(j) / (kSteps / 2);
                        const float r = radius + tube * std::cos(psi);
                        raster::Vertex& v = strip[n++];
                        const float q = 1.0f / (3.0f + std::sin(psi) * tube * 0.3f + r * std::sin(phi) * 0.1f);
                        v.x = cx + r * std::cos(phi);
                        v.y = cy + r * std::sin(phi) * 0.6f + tube * std::sin(psi) * 0.8f;
                        v.a[raster::kZ] = 0.5f + 0.02f * std::sin(psi) * tube + 0.01f * r * std::sin(phi);
                        v.a[raster::kQ] = q;
                        for (int k = 0; k < 4; ++k) v.a[raster::kDiffuse + k] = (40.0f + 50.0f * k + ring * 10) * q;
                        v.a[raster::kTex0] = static_cast<float>(s + side) * 0.37f * q;
                        v.a[raster::kTex0 + 1] = static_cast<float>(j) * 0.29f * q;
                    }
                }
                raster::DrawStrip(now.target, {0, 0, kW, kH}, p, strip, sizeof(raster::Vertex), n - 2, false);
                raster::DrawStrip(later.target, {0, 0, kW, kH}, p, strip, sizeof(raster::Vertex), n - 2, false,
                                  &batch);
            }
        }
        batch.Settle();
        EXPECT_EQ(now.colour, later.colour) << textured;
        EXPECT_EQ(now.depth, later.depth) << textured;
    }
}

// More triangles than the batch keeps, more than the tags can number before they start
// again, triangles far past the guard band, and a target too small for eight at once: each
// ends a stretch of holding somewhere in the middle.
TEST(HeldTriangles, LongRunsHugeTrianglesAndSmallTargets) {
    const raster::Pipeline p = Opaque({});
    for (int size : {5, 24}) {
        std::vector<Triangle> triangles;
        std::mt19937 rng(21 + size);
        std::uniform_real_distribution<float> pos(-2.0f, size + 2.0f), unit(0.0f, 1.0f);
        std::uniform_int_distribution<int> step(0, 15);
        for (int i = 0; i < 70000; ++i) {
            const std::uint32_t colour = 0xFF000000u | (rng() & 0xFFFFFFu);
            // Depths on a coarse grid, so that ties are common.
            const float z = static_cast<float>(step(rng)) / 16.0f;
            Triangle t = Flat(pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), z, colour);
            if (i % 997 == 0) t = Flat(-1e6f, -1e6f, 3e6f, 10.0f, 1.0f, 2e6f, z, colour);
            triangles.push_back(t);
        }
        ExpectSameAsAtOnce(triangles, p, size, size, "long run");
    }
}

// The tags of drawing order run out after 65535 triangles and start again: a pixel tagged
// just before must still lose a tie to a held triangle drawn just after.
TEST(HeldTriangles, TagsStartAgainBelowEveryOrder) {
    const raster::Pipeline p = Opaque({});
    constexpr int kSize = 12;
    std::vector<Triangle> triangles;
    // Small ones far behind, only to use up orders.
    auto behind = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const float x = static_cast<float>(i % kSize), y = static_cast<float>((i / kSize) % kSize);
            triangles.push_back(Flat(x - 0.5f, y - 0.5f, x + 1.5f, y - 0.5f, x - 0.5f, y + 1.5f, 0.99f,
                                     0xFF000000u | static_cast<std::uint32_t>(i)));
        }
    };
    // The whole target at one depth facing the viewer just before the tags start again,
    // then facing away at the same depth just after.
    behind(65000);
    triangles.push_back(Flat(-1, -1, 40, -1, -1, 40, 0.5f, 0xFF2040FFu));
    behind(600);
    triangles.push_back(Reversed(Flat(-1, -1, 40, -1, -1, 40, 0.5f, 0xFFFF4020u)));
    ExpectSameAsAtOnce(triangles, p, kSize, kSize, "tags start again");
}

// One batch across two targets and between held triangles a pipeline that cannot hold:
// each change draws what is held first.
TEST(HeldTriangles, OtherTargetsAndStatesDrawWhatIsHeldFirst) {
    const raster::Pipeline opaque = Opaque({}), blended = Blended();
    Canvas now[2] = {Canvas(20, 20), Canvas(20, 20)}, later[2] = {Canvas(20, 20), Canvas(20, 20)};
    raster::Batch batch(true);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(0.0f, 20.0f), unit(0.0f, 1.0f);
    for (int i = 0; i < 600; ++i) {
        const int which = (i / 7) % 2;
        const raster::Pipeline& p = i % 13 == 12 ? blended : opaque;
        const Triangle t = Flat(pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng),
                                static_cast<float>(i % 5) / 4.0f, static_cast<std::uint32_t>(rng()) | 0x40000000u);
        raster::DrawTriangle(now[which].target, {0, 0, 20, 20}, p, t.v[0], t.v[1], t.v[2]);
        raster::DrawTriangle(later[which].target, {0, 0, 20, 20}, p, t.v[0], t.v[1], t.v[2], &batch);
    }
    batch.Settle();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(now[i].colour, later[i].colour) << i;
        EXPECT_EQ(now[i].depth, later[i].depth) << i;
    }
}

} // namespace
