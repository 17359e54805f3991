// Triangles held back by a batch and drawn at Settle against the same triangles drawn at once
// in order: the colour and depth of every pixel must agree, ties of depth above all, where
// the later triangle must win whichever of the two was held.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/raster.h"
#include "platform/raster_span.h"
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

// A wall at depth 0.5 over every pixel of a w x h target but the pit (px, py), as two
// triangles for each rectangle around it.
std::vector<Triangle> WallWithAPit(int w, int h, int px, int py) {
    std::vector<Triangle> out;
    auto rect = [&](int ax, int ay, int bx, int by) {
        if (ax > bx || ay > by) return;
        const float l = ax - 0.5f, t = ay - 0.5f, r = bx + 0.5f, b = by + 0.5f;
        out.push_back(Flat(l, t, r, t, l, b, 0.5f, 0xFF204060u));
        out.push_back(Flat(r, t, r, b, l, b, 0.5f, 0xFF204060u));
    };
    rect(0, 0, w - 1, py - 1);
    rect(0, py + 1, w - 1, h - 1);
    rect(0, py, px - 1, py);
    rect(px + 1, py, w - 1, py);
    return out;
}

raster::Pipeline Opaque(const raster::Texture& texture) {
    raster::State s;
    s.cull = raster::Cull::None;
    if (texture.texels != nullptr) RingStage(s, texture);
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

// The same states drawn by the one-value setup and the one-pixel loops, which never hold
// back or drop a triangle: what every held triangle is checked against.
raster::Pipeline OneAtATime(const raster::Pipeline& p) {
    raster::State s = p.state();
    s.forceNarrow = true;
    s.forceScalarSetup = true;
    raster::Pipeline reference;
    reference.Compile(s);
    return reference;
}

raster::Pipeline Blended() {
    raster::State s;
    s.cull = raster::Cull::None;
    AlphaBlend(s);
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

// A triangle with the pipeline and scissor it is drawn with.
struct Drawn {
    Triangle t;
    const raster::Pipeline* p;
    raster::Rect scissor;
};

// The triangles drawn once at once (with `reference` instead of each one's pipeline where
// given) and once through a holding batch, settled at the end.
void ExpectDrawnAsAtOnce(const std::vector<Drawn>& drawn, int w, int h, const char* what,
                         const raster::Pipeline* reference = nullptr) {
    Canvas now(w, h), later(w, h);
    raster::Batch batch(true);
    for (const Drawn& d : drawn) {
        const Triangle& t = d.t;
        raster::DrawTriangle(now.target, d.scissor, reference != nullptr ? *reference : *d.p, t.v[0], t.v[1], t.v[2]);
        raster::DrawTriangle(later.target, d.scissor, *d.p, t.v[0], t.v[1], t.v[2], &batch);
    }
    batch.Settle();
    EXPECT_EQ(now.colour, later.colour) << what;
    EXPECT_EQ(now.depth, later.depth) << what;
}

void ExpectSameAsAtOnce(const std::vector<Triangle>& triangles, const raster::Pipeline& p, int w, int h,
                        const char* what) {
    std::vector<Drawn> drawn;
    for (const Triangle& t : triangles) drawn.push_back({t, &p, {0, 0, w, h}});
    ExpectDrawnAsAtOnce(drawn, w, h, what);
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
    const NoiseTexture noise(16, 8, 9);
    const raster::Texture texture = noise.For(false);
    std::mt19937 rng(9);
    rng.discard(16 * 8); // the shapes take the draws after the texels'
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

// Held triangles from several holding pipelines in turn, each within its own scissor (some
// cut it, some reach past the target), with perspective or one q, and with attributes that
// are not numbers: each must come back with its own clip, pipeline and planes.
TEST(HeldTriangles, ScissorsPipelinesAndHostileAttributesAsAtOnce) {
    const NoiseTexture noise(8, 8, 31);
    const raster::Texture texture = noise.For(false);
    std::mt19937 rng(31);
    rng.discard(8 * 8); // the shapes take the draws after the texels'
    const raster::Pipeline plain = Opaque({}), textured = Opaque(texture);
    const raster::Pipeline* pipelines[2] = {&plain, &textured};
    constexpr int kW = 40, kH = 28;
    std::uniform_real_distribution<float> pos(-6.0f, 46.0f), unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> edge(-8, 48);
    const float hostile[] = {NAN, INFINITY, -INFINITY, 0.0f, -1.0f, 1e30f};
    std::vector<Drawn> drawn;
    for (int i = 0; i < 3000; ++i) {
        Triangle t = Flat(pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), 0.0f, 0);
        for (raster::Vertex& v : t.v) {
            const float q = i % 3 == 0 ? 0.5f : 0.2f + unit(rng);
            v.a[raster::kZ] = unit(rng);
            v.a[raster::kQ] = q;
            for (int k = raster::kDiffuse; k < raster::kBasicAttrs; ++k) v.a[k] = unit(rng) * 255.0f * q;
            v.a[raster::kTex0] = (unit(rng) * 6.0f - 3.0f) * q;
            v.a[raster::kTex0 + 1] = (unit(rng) * 6.0f - 3.0f) * q;
            if (i % 50 == 7) v.a[rng() % raster::kBasicAttrs] = hostile[rng() % std::size(hostile)];
        }
        if (i % 211 == 0) t = Flat(-5e5f, 3.0f, 9e5f, -2e5f, 20.0f, 8e5f, unit(rng), 0xFF336699u);
        raster::Rect scissor = {0, 0, kW, kH};
        if (i % 4 != 0) {
            const int x0 = edge(rng), x1 = edge(rng), y0 = edge(rng), y1 = edge(rng);
            scissor = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
        }
        drawn.push_back({t, pipelines[(i / 3) % 2], scissor});
    }
    ExpectDrawnAsAtOnce(drawn, kW, kH, "scissors, pipelines, hostile attributes");
}

// Triangles that face away just behind, level with and just in front of a wall of
// triangles facing the viewer, flat on the left (at a depth that a few ulps more or less
// still store alike) and sloped on the right, narrow and wide: a held triangle dropped as
// hidden must be one that no pixel of would pass, and the others must be drawn as the
// one-value setup and one-pixel loops, which never drop a triangle, draw them at once.
TEST(HeldTriangles, OnlyHiddenOnesAreDropped) {
    const raster::Pipeline p = Opaque({});
    const raster::Pipeline reference = OneAtATime(p);
    constexpr int kW = 96, kH = 40;
    auto wall = [](float x, float y) {
        const float flat = 32768.0f / 65535.0f;
        return x < 48.0f ? flat : flat + 0.004f * (x - 48.0f) + 0.002f * y;
    };
    std::vector<Triangle> triangles;
    for (int cy = 0; cy < kH; cy += 8) {
        for (int cx = 0; cx < kW; cx += 8) {
            const float x0 = cx - 0.5f, y0 = cy - 0.5f, x1 = x0 + 8.0f, y1 = y0 + 8.0f;
            for (int half = 0; half < 2; ++half) {
                Triangle t = half == 0 ? Flat(x0, y0, x1, y0, x0, y1, 0, 0xFF102030u)
                                       : Flat(x1, y0, x1, y1, x0, y1, 0, 0xFF102030u);
                for (raster::Vertex& v : t.v) v.a[raster::kZ] = wall(x0, y0) + (wall(v.x, v.y) - wall(x0, y0));
                triangles.push_back(t);
            }
        }
    }
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 3000; ++i) {
        // Within one side of the wall, up to 12 columns wide or up to 40; some with a right
        // angle at the top left, where a sloped wall is nearest.
        const float span = i % 2 == 0 ? 12.0f : 40.0f;
        const float side = (i / 2) % 2 == 0 ? 0.0f : 48.0f;
        const float x = side + unit(rng) * (48.0f - span), y = unit(rng) * (kH + 4.0f) - 4.0f;
        const float w = 1.0f + unit(rng) * (span - 1.0f), h = 1.0f + unit(rng) * 20.0f;
        Triangle t = i % 3 == 0 ? Flat(x, y, x + w, y, x, y + h, 0, 0)
                                : Flat(x, y, x + w, y + unit(rng) * 14.0f, x - unit(rng) * 3.0f, y + h, 0, 0);
        for (raster::Vertex& v : t.v)
            for (int k = 0; k < 4; ++k) v.a[raster::kDiffuse + k] = static_cast<float>(rng() & 0xFF);
        // Most of them facing away, to be held. Off the wall by a few ulps either way, or a
        // step or two of the stored depth behind it, so that the wall's depths stay to be
        // tied at Settle.
        const bool held = i % 4 != 3;
        const int steps = static_cast<int>(rng() % 5) - 2;
        const float off = i % 2 == 0 ? static_cast<float>(steps < 0 ? -steps : steps) / 65535.0f
                                     : static_cast<float>(steps) * 6e-8f;
        for (raster::Vertex& v : t.v) v.a[raster::kZ] = wall(v.x, v.y) + off;
        triangles.push_back(held ? Reversed(t) : t);
    }
    std::vector<Drawn> drawn;
    for (const Triangle& t : triangles) drawn.push_back({t, &p, {0, 0, kW, kH}});
    ExpectDrawnAsAtOnce(drawn, kW, kH, "around the wall", &reference);
}

// Walls of one plane each, flat to steep, and held triangles on the same plane a step or two
// of the stored depth behind, level with it or in front, or off it by a few ulps: narrow and
// wide (rows up to 60 pixels long), some drawn before their wall and some after. A held
// triangle that the plane's bound calls hidden must have no pixel that passes, so every
// pixel must come out as the one-pixel loops draw them at once.
void TightDepthsOnSteepAndFlatPlanes() {
    const raster::Pipeline p = Opaque({});
    const raster::Pipeline reference = OneAtATime(p);
    constexpr int kW = 80, kH = 48;
    std::mt19937 rng(41);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float slopes[] = {0.0f, 1e-7f, 3e-6f, 1.5e-5f, 4e-4f, 0.02f};
    for (float sx : slopes) {
        for (float sy : slopes) {
            const float zx = unit(rng) < 0.5f ? sx : -sx, zy = unit(rng) < 0.5f ? sy : -sy;
            const float centre = 0.3f + 0.4f * unit(rng);
            auto plane = [&](float x, float y) { return centre + zx * (x - kW / 2) + zy * (y - kH / 2); };
            std::vector<Triangle> triangles;
            auto wall = [&] {
                for (int cy = 0; cy < kH; cy += 16) {
                    for (int cx = 0; cx < kW; cx += 16) {
                        const float x0 = cx - 0.5f, y0 = cy - 0.5f, x1 = x0 + 16.0f, y1 = y0 + 16.0f;
                        Triangle a = Flat(x0, y0, x1, y0, x0, y1, 0, 0xFF204060u);
                        Triangle b = Flat(x1, y0, x1, y1, x0, y1, 0, 0xFF604020u);
                        for (Triangle* t : {&a, &b})
                            for (raster::Vertex& v : t->v) v.a[raster::kZ] = plane(v.x, v.y);
                        triangles.push_back(a);
                        triangles.push_back(b);
                    }
                }
            };
            auto held = [&](int count) {
                for (int i = 0; i < count; ++i) {
                    const float span = i % 3 == 0 ? 14.0f : i % 3 == 1 ? 40.0f : 60.0f;
                    const float x = unit(rng) * (kW - span) - 1.0f, y = unit(rng) * (kH + 2.0f) - 2.0f;
                    const float w = 1.0f + unit(rng) * (span - 1.0f), h = 1.0f + unit(rng) * 10.0f;
                    Triangle t = i % 2 == 0 ? Flat(x, y, x + w, y, x, y + h, 0, 0)
                                            : Flat(x, y, x + w, y + unit(rng) * 6.0f, x - unit(rng) * 2.0f, y + h, 0, 0);
                    for (raster::Vertex& v : t.v)
                        for (int k = 0; k < 4; ++k) v.a[raster::kDiffuse + k] = static_cast<float>(rng() & 0xFF);
                    const int steps = static_cast<int>(rng() % 5) - 2;
                    const float off = i % 4 == 0 ? static_cast<float>(steps) * 6e-8f
                                                 : static_cast<float>(steps) / 65535.0f;
                    for (raster::Vertex& v : t.v) v.a[raster::kZ] = plane(v.x, v.y) + off;
                    triangles.push_back(i % 5 == 4 ? t : Reversed(t));
                }
            };
            held(150);
            wall();
            held(400);
            std::vector<Drawn> drawn;
            for (const Triangle& t : triangles) drawn.push_back({t, &p, {0, 0, kW, kH}});
            ExpectDrawnAsAtOnce(drawn, kW, kH, "tight depths", &reference);
        }
    }
}

// A wall just in front of a held triangle everywhere but one pit, cleared to the far depth,
// in a row or column at the edge of the triangle's box (its last row or right column, or its
// first row or left column), on targets from sixteen columns wide, the boxes 1 to 12 rows
// and 1 to 40 columns, some against the target's edges: the held triangle shows through the
// pit alone, so a box read that misses any row or column of it drops the triangle.
void APitAnywhereInTheBoxShowsTheHeldTriangle() {
    const raster::Pipeline p = Opaque({});
    const raster::Pipeline reference = OneAtATime(p);
    constexpr int kH = 24;
    std::mt19937 rng(57);
    for (int w : {16, 23, 40, 70}) {
        for (int i = 0; i < 240; ++i) {
            const int rows = 1 + static_cast<int>(rng() % 12), cols = 1 + static_cast<int>(rng() % 40) % w;
            const int x0 = i % 5 == 0 ? 0 : i % 5 == 1 ? w - cols : static_cast<int>(rng() % (w - cols + 1));
            const int y0 = i % 7 == 0 ? kH - rows : static_cast<int>(rng() % (kH - rows + 1));
            const int x1 = x0 + cols - 1, y1 = y0 + rows - 1;
            // Right angle at the bottom right (the last row and right column all inside), or
            // at the top left (the first row and left column).
            const bool low = i % 2 == 0;
            const int along = static_cast<int>(rng() % (rows + cols));
            const int px = along < cols ? x0 + along : low ? x1 : x0;
            const int py = along < cols ? (low ? y1 : y0) : y0 + (along - cols) % rows;
            std::vector<Triangle> triangles = WallWithAPit(w, kH, px, py);
            const float l = x0 - 0.5f, t = y0 - 0.5f, r = x1 + 0.5f, b = y1 + 0.5f;
            Triangle held = low ? Flat(l, b, r, t, r, b, 0.0f, 0xFFC08020u) : Flat(l, t, r, t, l, b, 0.0f, 0xFFC08020u);
            // Behind the wall by a little, on a plane sloped a little or not at all.
            const float slope = static_cast<float>(static_cast<int>(rng() % 3) - 1) * 1e-4f;
            for (raster::Vertex& v : held.v) v.a[raster::kZ] = 0.51f + slope * (v.x + v.y);
            triangles.push_back(Reversed(held));
            std::vector<Drawn> drawn;
            for (const Triangle& tri : triangles) drawn.push_back({tri, &p, {0, 0, w, kH}});
            ExpectDrawnAsAtOnce(drawn, w, kH, "pit", &reference);
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "width " << w << " box " << x0 << ".." << x1 << " x " << y0 << ".." << y1 << " pit "
                              << px << "," << py;
                return;
            }
        }
    }
}

// Held triangles of 16 to 31 columns (and a few just wider or taller than their edges may
// be taken for at once), sloped edges through pixel centres, behind a wall everywhere but
// one pit: a pixel the triangle covers next to one it does not, or the other way round.
// The triangle must show through a pit it covers, whichever rule of the edges decides it,
// at the target's right and bottom edges too; depths that are not numbers or infinite must
// never drop one.
void WideBoxesShowThroughAPitOnTheirEdges() {
    const raster::Pipeline p = Opaque({});
    const raster::Pipeline reference = OneAtATime(p);
    std::mt19937 rng(73);
    const float hostile[] = {std::nanf(""), INFINITY, -INFINITY};
    for (int w : {32, 45, 80}) {
        const int kH = 72;
        for (int i = 0; i < 300; ++i) {
            const int cols = i % 10 == 0 ? 32 + static_cast<int>(rng() % 4) : 16 + static_cast<int>(rng() % 16);
            const int rows = i % 6 == 0 ? 60 + static_cast<int>(rng() % 10) : 1 + static_cast<int>(rng() % 24);
            if (cols > w) continue;
            const int x0 = i % 4 == 0 ? w - cols : static_cast<int>(rng() % (w - cols + 1));
            const int y0 = i % 3 == 0 ? kH - rows : static_cast<int>(rng() % (kH - rows + 1));
            // Corners on pixel centres or halfway between, so that edges pass through centres.
            auto at = [&](int base, int span) {
                return static_cast<float>(base) + 0.5f * static_cast<float>(rng() % (2 * span + 1)) - 0.5f;
            };
            Triangle held = Flat(at(x0, 1), at(y0, 1), at(x0 + cols - 1, 1), at(y0, rows / 2 + 1), at(x0, cols / 2),
                                 at(y0 + rows - 1, 1), 0.0f, 0xFFC08020u);
            if (((held.v[1].x - held.v[0].x) * (held.v[2].y - held.v[0].y) -
                 (held.v[1].y - held.v[0].y) * (held.v[2].x - held.v[0].x)) < 0)
                held = Reversed(held);
            const float slope = static_cast<float>(static_cast<int>(rng() % 3) - 1) * 1e-4f;
            for (raster::Vertex& v : held.v) v.a[raster::kZ] = 0.51f + slope * (v.x + v.y);
            if (i % 25 == 0) held.v[rng() % 3].a[raster::kZ] = hostile[rng() % 3];
            // A pixel it covers beside one it does not (or that one), as the one-pixel loops
            // find them alone.
            Canvas alone(w, kH);
            raster::DrawTriangle(alone.target, {0, 0, w, kH}, reference, held.v[0], held.v[1], held.v[2]);
            auto in = [&](int at) { return alone.depth[static_cast<std::size_t>(at)] != 0xFFFF; };
            std::vector<int> pairs;
            for (int at = 0; at + w < w * kH; ++at) {
                if (at % w + 1 < w && in(at) != in(at + 1)) pairs.push_back(at * 2);
                if (in(at) != in(at + w)) pairs.push_back(at * 2 + 1);
            }
            const int pair = pairs.empty() ? 0 : pairs[rng() % pairs.size()];
            const int pit = pair / 2 + (rng() % 2 == 0 ? 0 : pair % 2 == 0 ? 1 : w);
            const int px = pit % w, py = pit / w;
            std::vector<Triangle> triangles = WallWithAPit(w, kH, px, py);
            triangles.push_back(Reversed(held));
            std::vector<Drawn> drawn;
            for (const Triangle& t : triangles) drawn.push_back({t, &p, {0, 0, w, kH}});
            ExpectDrawnAsAtOnce(drawn, w, kH, "wide pit", &reference);
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "width " << w << " triangle " << i << " pit " << px << "," << py;
                return;
            }
        }
    }
}

// The bound of held pixels over sixteen columns to a register, where the processor has it,
// and over eight.
struct SixteenColumns {
    explicit SixteenColumns(bool on) { raster::HeldSixteen(on); }
    ~SixteenColumns() { raster::HeldSixteen(true); }
};

TEST(HeldTriangles, TightDepthsOnSteepAndFlatPlanes) {
    for (bool sixteen : {true, false}) {
        SixteenColumns lanes(sixteen);
        TightDepthsOnSteepAndFlatPlanes();
    }
}

TEST(HeldTriangles, APitAnywhereInTheBoxShowsTheHeldTriangle) {
    for (bool sixteen : {true, false}) {
        SixteenColumns lanes(sixteen);
        APitAnywhereInTheBoxShowsTheHeldTriangle();
    }
}

TEST(HeldTriangles, WideBoxesShowThroughAPitOnTheirEdges) {
    for (bool sixteen : {true, false}) {
        SixteenColumns lanes(sixteen);
        WideBoxesShowThroughAPitOnTheirEdges();
    }
}

} // namespace
