// The loops that draw untextured, undepthed triangles straight into the target against the
// one-pixel loops: one-colour and shaded triangles, clipped by the target and by a
// scissor, with wild colours, must give the same pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "platform/raster.h"

namespace {

constexpr int kW = 90, kH = 70;

std::vector<std::uint32_t> Noise() {
    std::vector<std::uint32_t> c(static_cast<std::size_t>(kW) * kH);
    for (std::size_t i = 0; i < c.size(); ++i) c[i] = static_cast<std::uint32_t>(i * 2654435761u);
    return c;
}

raster::State Overlay(bool blend) {
    raster::State s;
    s.cull = raster::Cull::None;
    s.depthTest = false;
    s.blend = blend;
    s.srcBlend = raster::Factor::SrcAlpha;
    s.destBlend = raster::Factor::InvSrcAlpha;
    return s;
}

// The colour (b, g, r, a in 0..255) of one vertex, times q as the planes carry it.
void Colour(raster::Vertex& v, const float (&c)[4]) {
    for (int k = 0; k < 4; ++k) v.a[raster::kDiffuse + k] = c[k] * v.a[raster::kQ];
}

// A band whose first two corners share a colour (its alpha sometimes -0) and whose third
// corner's colour is sometimes wild, q as varyQ says, drawn with its corners in any order:
// the shared edge is an edge either way.
void ShadeAndDrawBand(raster::Vertex (&v)[3], int i, bool varyQ, std::mt19937& rng, const raster::Target& target,
                      const raster::Pipeline& p, const raster::Rect* scissors) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    float c[3][4];
    for (raster::Vertex& x : v) x.a[raster::kQ] = varyQ ? 0.5f : 1.0f;
    for (int k = 0; k < 4; ++k) {
        c[0][k] = c[1][k] = unit(rng) * 300.0f - 20.0f;
        c[2][k] = unit(rng) * 340.0f - 40.0f;
    }
    if (i % 7 == 3) c[2][i % 4] = i % 2 ? nan : inf;
    if (i % 7 == 5) c[0][3] = c[1][3] = -0.0f;
    for (int j = 0; j < 3; ++j) Colour(v[j], c[j]);
    const int first = i % 3;
    raster::DrawTriangle(target, scissors[(i / 3) % 3], p, v[first], v[(first + 1) % 3], v[(first + 2) % 3]);
}

// Draws the same triangles with the direct loops and with the one-pixel loops, for every
// blend and q setting, and expects the same pixels: draw(target, pipeline, rng, scissors)
// draws one run of triangles from a generator seeded alike for both.
template <typename Draw>
void ExpectSameAsOnePixelLoops(unsigned seed, Draw draw) {
    const raster::Rect scissors[] = {{0, 0, kW, kH}, {7, 5, 61, 43}, {-30, -30, 500, 500}};
    for (int flags = 0; flags < 4; ++flags) {
        const bool blend = flags & 1, varyQ = flags & 2;
        std::vector<std::uint32_t> out[2] = {Noise(), Noise()};
        for (int narrow = 0; narrow < 2; ++narrow) {
            raster::State s = Overlay(blend);
            s.forceNarrow = narrow != 0;
            raster::Pipeline p;
            p.Compile(s);
            const raster::Target target{out[narrow].data(), nullptr, kW, kH};
            std::mt19937 rng(seed + static_cast<unsigned>(flags));
            draw(target, p, rng, scissors, varyQ);
        }
        EXPECT_EQ(out[0], out[1]) << flags;
    }
}

TEST(DirectLoops, SamePixelsAsTheOnePixelLoops) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    ExpectSameAsOnePixelLoops(55, [&](const raster::Target& target, const raster::Pipeline& p,
                                      std::mt19937& rng, const raster::Rect* scissors, bool varyQ) {
        std::uniform_real_distribution<float> pos(-40.0f, 130.0f), unit(0.0f, 1.0f);
        for (int i = 0; i < 400; ++i) {
            raster::Vertex v[3] = {};
            float c[3][4];
            for (int j = 0; j < 3; ++j) {
                v[j].x = pos(rng);
                v[j].y = pos(rng) * 0.8f;
                v[j].a[raster::kQ] = varyQ ? 0.1f + unit(rng) : 0.5f;
                for (float& x : c[j]) x = unit(rng) * 300.0f - 20.0f;
            }
            switch (i % 8) {
            case 0: // quarter-pixel corners: edges through pixel centres, small triangles
                for (raster::Vertex& x : v) {
                    x.x = 30.0f + static_cast<float>(static_cast<int>(rng() % 64)) * 0.25f;
                    x.y = 20.0f + static_cast<float>(static_cast<int>(rng() % 64)) * 0.25f;
                }
                break;
            case 1: // one colour, as the overlay's boxes
            case 2:
                c[1][0] = c[2][0] = c[0][0], c[1][1] = c[2][1] = c[0][1];
                c[1][2] = c[2][2] = c[0][2], c[1][3] = c[2][3] = c[0][3];
                break;
            case 3: // only alpha changes, as the glow bands
                for (int k = 0; k < 3; ++k) c[1][k] = c[2][k] = c[0][k];
                break;
            case 4: { // one wild colour everywhere
                const float wild[] = {nan, inf, -inf, 1e30f};
                for (auto& x : c) x[i % 4] = wild[(i / 8) % 4], x[(i + 1) % 4] = 255.0f, x[(i + 2) % 4] = -0.0f;
                break;
            }
            case 5: // a wild value at one vertex
                c[i % 3][(i / 8) % 4] = (i / 8) % 2 ? nan : inf;
                break;
            case 6: // shaded, but opaque, clear or nearly either all over
                for (auto& x : c) x[3] = (i / 8) % 4 == 0 ? 0.4f : ((i / 8) % 4 == 1 ? 254.4f : 254.6f);
                break;
            default: break;
            }
            for (int j = 0; j < 3; ++j) Colour(v[j], c[j]);
            const raster::Rect& clip = scissors[i % 3];
            raster::DrawTriangle(target, clip, p, v[0], v[1], v[2]);
        }
    });
}

// Bands: two corners share a row and a colour, so the colour changes only from row to row
// (its step along a row is 0 or -0), as in the overlay's shaded boxes. Alpha runs past 0
// and 255 so that whole rows end clear or opaque; the third corner's colour is sometimes
// wild; the shared row lies on or between pixel centres, above or below.
TEST(DirectLoops, BandsAsTheOnePixelLoops) {
    ExpectSameAsOnePixelLoops(91, [&](const raster::Target& target, const raster::Pipeline& p,
                                      std::mt19937& rng, const raster::Rect* scissors, bool varyQ) {
        std::uniform_real_distribution<float> pos(-40.0f, 130.0f), unit(0.0f, 1.0f);
        for (int i = 0; i < 300; ++i) {
            raster::Vertex v[3] = {};
            const float row = i % 3 == 0 ? std::round(pos(rng)) : pos(rng) * 0.8f;
            v[0].x = pos(rng), v[0].y = row;
            v[1].x = i % 5 == 0 ? v[0].x + 3.0f : pos(rng), v[1].y = row; // narrow or wide
            v[2].x = pos(rng), v[2].y = i % 4 == 0 ? row + 2.5f : pos(rng) * 0.8f;
            ShadeAndDrawBand(v, i, varyQ, rng, target, p, scissors);
        }
    });
}

// Upright bands, as in the overlay's bevels: two corners share a column and a colour, so the
// colour changes only along a row, and rows that start at one column have the same colours.
// Bands narrow and wide (rows past the longest whose colours are kept), slanted so that rows
// start at one column for a while and then move, in either order of the corners and with
// the third corner's colour sometimes wild.
TEST(DirectLoops, UprightBandsAsTheOnePixelLoops) {
    ExpectSameAsOnePixelLoops(57, [&](const raster::Target& target, const raster::Pipeline& p,
                                      std::mt19937& rng, const raster::Rect* scissors, bool varyQ) {
        std::uniform_real_distribution<float> pos(-40.0f, 130.0f), unit(0.0f, 1.0f);
        const float widths[] = {2.0f, 3.5f, 9.0f, 31.0f, 33.0f, 47.0f};
        for (int i = 0; i < 300; ++i) {
            raster::Vertex v[3] = {};
            const float column = i % 3 == 0 ? std::round(pos(rng)) : pos(rng) * 0.8f;
            v[0].x = column, v[0].y = pos(rng) * 0.6f;
            v[1].x = column, v[1].y = v[0].y + (i % 2 ? 1.0f : -1.0f) * (10.0f + 40.0f * unit(rng));
            v[2].x = column + (i % 4 == 0 ? -1.0f : 1.0f) * widths[i % 6];
            v[2].y = i % 5 == 0 ? v[0].y : (v[0].y + v[1].y) * 0.5f + pos(rng) * 0.1f;
            ShadeAndDrawBand(v, i, varyQ, rng, target, p, scissors);
        }
    });
}

// Rows of every length up to past two groups, 1 to 3 of them, at and across every edge
// of the target: a triangle cut down to a box by the scissor, of one colour or shaded down,
// across or both, with alphas that settle the blend (0, 255, and values that round to
// them) and ones that do not. Lines run along the target's edges and off its corners.
TEST(DirectLoops, RowsAndLinesAtTheTargetsEdges) {
    ExpectSameAsOnePixelLoops(23, [&](const raster::Target& target, const raster::Pipeline& p,
                                      std::mt19937& rng, const raster::Rect* scissors, bool varyQ) {
        const float alphas[] = {0.0f, 255.0f, 128.0f, 0.3f, 254.6f, 77.0f};
        for (int w = 1; w <= 34; ++w) {
            for (int place = 0; place < 6; ++place) {
                const int h = 1 + (w + place) % 3;
                const int xs[] = {0, -w / 2, kW - w, kW - w / 2, 30, 31};
                const int ys[] = {0, -1, kH - h, kH - 1, 20, kH - h};
                const int x = xs[place], y = ys[(place + w) % 6];
                // Corners well outside the box, its rows cut by the scissor alone.
                const float corners[3][2] = {{x - 1.0f, y - 1.0f}, {x + 2.0f * w + 2.0f, y - 1.0f},
                                             {x - 1.0f, y + 2.0f * h + 2.0f}};
                const int shade = (w / 6 + place) % 4; // one colour, down, across, both
                const float a = alphas[(w + place) % 6], red = static_cast<float>(rng() % 256);
                raster::Vertex v[3] = {};
                for (int k = 0; k < 3; ++k) {
                    v[k].x = corners[k][0], v[k].y = corners[k][1];
                    v[k].a[raster::kQ] = varyQ ? 0.5f : 1.0f;
                    const float c[4] = {40.0f + ((shade & 2) && k == 1 ? 90.0f : 0.0f),
                                        200.0f - ((shade & 1) && k == 2 ? 60.0f : 0.0f),
                                        red, a};
                    Colour(v[k], c);
                }
                raster::DrawTriangle(target, {x, y, x + w, y + h}, p, v[0], v[1], v[2]);
            }
        }
        const float corners[][4] = {{0.5f, 0.5f, kW - 0.5f, 0.5f},       {0.5f, kH - 0.5f, kW - 0.5f, kH - 0.5f},
                                    {0.5f, 0.5f, 0.5f, kH - 0.5f},       {kW - 0.5f, 0.5f, kW - 0.5f, kH - 0.5f},
                                    {-5.0f, -9.0f, kW + 7.0f, kH + 3.0f}, {kW - 3.0f, -20.0f, kW + 2.0f, kH + 40.0f}};
        for (int i = 0; i < 12; ++i) {
            raster::Vertex v[2] = {};
            const float c[4] = {10.0f, 250.0f, 99.0f, alphas[i % 6]};
            for (int k = 0; k < 2; ++k) {
                v[k].x = corners[i % 6][2 * k], v[k].y = corners[i % 6][2 * k + 1];
                v[k].a[raster::kQ] = 1.0f;
                Colour(v[k], c);
            }
            raster::DrawLine(target, scissors[i / 6], p, v[0], v[1]);
        }
    });
}

// One colour over every target value: each product rounded as BlendSrcAlpha rounds it,
// for every alpha and every source and target byte.
TEST(DirectLoops, EveryBlendOfOneColour) {
    constexpr int kRow = 256;
    std::vector<std::uint32_t> row(kRow);
    raster::Pipeline p;
    p.Compile(Overlay(true));
    const raster::Target target{row.data(), nullptr, kRow, 1};
    int wrong = 0;
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t s0 = 0; s0 < 256; s0 += 3) {
            // Source bytes s0 .. s0 + 2 in b, g, r; target byte x in all four channels.
            const std::uint32_t src = (a << 24) | (((s0 + 2) & 0xFF) << 16) | (((s0 + 1) & 0xFF) << 8) | s0;
            for (std::uint32_t x = 0; x < kRow; ++x) row[x] = x * 0x01010101u;
            raster::Vertex v[3] = {};
            const float c[4] = {static_cast<float>(src & 0xFF), static_cast<float>((src >> 8) & 0xFF),
                                static_cast<float>((src >> 16) & 0xFF), static_cast<float>(a)};
            const float corners[3][2] = {{-1.0f, -1.0f}, {600.0f, -1.0f}, {-1.0f, 5.0f}};
            for (int j = 0; j < 3; ++j) {
                v[j].x = corners[j][0], v[j].y = corners[j][1], v[j].a[raster::kQ] = 1.0f;
                Colour(v[j], c);
            }
            raster::DrawTriangle(target, {0, 0, kRow, 1}, p, v[0], v[1], v[2]);
            for (std::uint32_t x = 0; x < kRow; ++x) {
                wrong += row[x] != raster::BlendSrcAlpha(src, x * 0x01010101u, a);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// Lines of one colour, shallow and steep, from inside, across and far beyond the target,
// with ends on pixel centres and half-way between, some colours wild; under flat shading
// too, where an end of another colour takes the start's.
TEST(DirectLoops, OneColourLinesAsTheOnePixelLoops) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const raster::Rect scissors[] = {{0, 0, kW, kH}, {7, 5, 61, 43}, {-30, -30, 500, 500}};
    for (int way = 0; way < 4; ++way) {
        const int blend = way & 1;
        std::vector<std::uint32_t> out[2] = {Noise(), Noise()};
        for (int narrow = 0; narrow < 2; ++narrow) {
            raster::State s = Overlay(blend != 0);
            s.forceNarrow = narrow != 0;
            s.flat = (way & 2) != 0;
            raster::Pipeline p;
            p.Compile(s);
            const raster::Target target{out[narrow].data(), nullptr, kW, kH};
            std::mt19937 rng(11 + blend);
            std::uniform_real_distribution<float> pos(-30.0f, 120.0f), unit(0.0f, 1.0f);
            for (int i = 0; i < 600; ++i) {
                raster::Vertex v[2] = {};
                float c[4];
                for (float& x : c) x = unit(rng) * 300.0f - 20.0f;
                for (raster::Vertex& x : v) {
                    x.x = pos(rng);
                    x.y = pos(rng);
                    x.a[raster::kQ] = 0.5f;
                    if (i % 5 == 1) x.x = std::round(x.x * 2.0f) * 0.5f, x.y = std::round(x.y * 2.0f) * 0.5f;
                }
                if (i % 10 == 1) v[1].y = v[0].y;              // level, maybe between rows
                if (i % 10 == 6) v[1].x = v[0].x;              // upright, maybe between columns
                if (i % 5 == 2) v[i % 2].x *= 1e6f;           // far beyond the target
                if (i % 5 == 3) v[1].x = v[0].x + (i % 3) - 1; // steep, or a single column
                if (i % 7 == 3) c[3] = i % 2 ? 254.6f : 0.3f;  // opaque or clear once rounded
                if (i % 11 == 4) c[i % 4] = i % 2 ? 1e30f : -inf;
                if (i % 11 == 7) c[i % 4] = nan;
                for (raster::Vertex& x : v) Colour(x, c);
                if (i % 13 == 5) v[1].a[raster::kDiffuse + 1] += 1.0f; // not quite one colour
                if (i % 13 == 9) v[1].a[raster::kDiffuse + i % 4] *= 0.5f; // another colour
                raster::DrawLine(target, scissors[i % 3], p, v[0], v[1]);
            }
        }
        EXPECT_EQ(out[0], out[1]) << "blend " << blend << ", flat shading " << (way >> 1);
    }
}

// Triangles of a depth-tested state left pending in a batch, then one drawn straight into
// the target through the same batch: the pending ones must land first.
TEST(DirectLoops, PendingPixelsOfABatchGoFirst) {
    std::vector<std::uint32_t> colour[2] = {Noise(), Noise()};
    std::vector<std::uint16_t> depth[2] = {std::vector<std::uint16_t>(kW * kH, 0xFFFF),
                                           std::vector<std::uint16_t>(kW * kH, 0xFFFF)};
    for (int narrow = 0; narrow < 2; ++narrow) {
        raster::State deep = Overlay(true);
        deep.depthTest = true;
        raster::State flat = Overlay(true);
        deep.forceNarrow = flat.forceNarrow = narrow != 0;
        raster::Pipeline p[2];
        p[0].Compile(deep);
        p[1].Compile(flat);
        const raster::Target target{colour[narrow].data(), depth[narrow].data(), kW, kH};
        raster::Batch batch;
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> pos(0.0f, 60.0f), unit(0.0f, 1.0f);
        for (int i = 0; i < 60; ++i) {
            raster::Vertex v[3] = {};
            const float c[4] = {unit(rng) * 255.0f, unit(rng) * 255.0f, unit(rng) * 255.0f, 128.0f};
            for (raster::Vertex& x : v) {
                x.x = pos(rng);
                x.y = pos(rng);
                x.a[raster::kZ] = unit(rng);
                x.a[raster::kQ] = 1.0f;
                Colour(x, c);
            }
            raster::DrawTriangle(target, {0, 0, kW, kH}, p[i % 3 == 2], v[0], v[1], v[2], &batch);
        }
        batch.Flush();
    }
    EXPECT_EQ(colour[0], colour[1]);
    EXPECT_EQ(depth[0], depth[1]);
}

} // namespace
