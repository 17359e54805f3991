// Tiny triangles (boxes of at most 16 x 8 pixels), whose rows setup finds at once and the
// depth-tested Replace loops queue one group a row, against the one-value setup and the
// one-pixel loops: strips of them through a holding batch, as the ring views draw them,
// must leave every pixel's colour and depth as drawing each triangle alone, in order, does.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "platform/raster.h"
#include "support/raster_states.h"

namespace {

using Canvas = NoiseCanvas;

// The inset's untextured state, or the main view's textured one when a texture is given.
raster::Pipeline Compiled(bool reference, const raster::Texture& texture = {}) {
    raster::State s;
    s.cull = raster::Cull::None;
    if (texture.texels != nullptr) RingStage(s, texture);
    s.forceNarrow = reference;
    s.forceScalarSetup = reference;
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

// A strip's vertices in a walk of small steps on quarter pixels, so that edges run through
// pixel centres; every so often a step of exactly 7, 8 or 9 pixels (across, also 15, 16
// or 17), which puts a box below a tiny size, at its limit or one past it (rows of one
// group or two), and now and then a wild attribute.
std::vector<raster::Vertex> Walk(std::mt19937& rng, int count, float width, float height, bool perspective) {
    std::uniform_int_distribution<int> quarter(-14, 14), limit(7, 9), pick(0, 10);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<raster::Vertex> v(static_cast<std::size_t>(count));
    float x = width * unit(rng), y = height * unit(rng);
    for (int i = 0; i < count; ++i) {
        raster::Vertex& u = v[static_cast<std::size_t>(i)];
        u = {};
        const int kind = pick(rng);
        if (kind == 0) {
            x += static_cast<float>(limit(rng));
        } else if (kind == 10) {
            x += static_cast<float>(limit(rng) + 8);
        } else if (kind == 1) {
            y += static_cast<float>(limit(rng));
        } else {
            x += static_cast<float>(quarter(rng)) * 0.25f;
            y += static_cast<float>(quarter(rng)) * 0.25f;
        }
        // Back inside, a little beyond the target's edges at times.
        if (x < -3.0f || x > width + 3.0f) x = width * unit(rng);
        if (y < -3.0f || y > height + 3.0f) y = height * unit(rng);
        u.x = x;
        u.y = y;
        const float q = perspective ? 0.05f + unit(rng) : 0.5f;
        u.a[raster::kZ] = unit(rng) * 1.2f - 0.1f;
        u.a[raster::kQ] = q;
        for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k) u.a[k] = unit(rng) * 300.0f * q;
        u.a[raster::kTex0] = (unit(rng) * 6.0f - 3.0f) * q;
        u.a[raster::kTex0 + 1] = (unit(rng) * 6.0f - 3.0f) * q;
        if (i % 37 == 5) u.a[raster::kZ] = nan;
        if (i % 37 == 17) u.a[raster::kDiffuse + 2] = nan;
        if (i % 37 == 29) u.a[raster::kZ] = -inf;
        if (i % 53 == 11) u.a[raster::kDiffuse] = inf;
    }
    return v;
}

// Strips through a holding batch (back faces held and settled, the queue filled past its
// end many times over) and single triangles without a batch, against the reference, on a
// target whose width is no multiple of eight, under scissors that cut boxes anywhere;
// untextured and textured.
TEST(TinyTriangles, SamePixelsAsTheOnePixelLoops) {
    constexpr int kW = 37, kH = 29;
    const raster::Rect scissors[] = {{0, 0, kW, kH}, {3, 2, 30, 21}, {5, 7, 6, 26}, {0, 12, kW, 13}, {31, 20, kW, kH}};
    const NoiseTexture noise(16, 8, 3);
    for (int flags = 0; flags < 8; ++flags) {
        const bool perspective = flags & 1, batched = flags & 2, textured = flags & 4;
        for (const raster::Rect& scissor : scissors) {
            Canvas out[2] = {Canvas(kW, kH), Canvas(kW, kH)};
            for (int reference = 0; reference < 2; ++reference) {
                const raster::Pipeline p =
                    Compiled(reference != 0, textured ? noise.For(reference != 0) : raster::Texture{});
                raster::Batch batch(true);
                raster::Batch* through = batched && reference == 0 ? &batch : nullptr;
                std::mt19937 rng(91 + flags);
                for (int strip = 0; strip < 12; ++strip) {
                    const std::vector<raster::Vertex> v = Walk(rng, 150, kW, kH, perspective);
                    raster::DrawStrip(out[reference].target, scissor, p, v.data(), sizeof(raster::Vertex),
                                      static_cast<int>(v.size()) - 2, strip % 2 != 0, through);
                    for (std::size_t i = 0; i + 2 < v.size(); i += 7)
                        raster::DrawTriangle(out[reference].target, scissor, p, v[i + 2], v[i], v[i + 1], through);
                }
                batch.Settle();
            }
            EXPECT_EQ(out[0].colour, out[1].colour) << flags << " " << scissor.left << "," << scissor.top;
            EXPECT_EQ(out[0].depth, out[1].depth) << flags << " " << scissor.left << "," << scissor.top;
        }
    }
}

// Triangles taller and wider than the scissor, whose boxes it cuts to a tiny size: their
// rows go on below the box and their columns past it, and must stay out. Strips of them,
// as a group sets them up, for every height of box from one row to eight and widths either
// side of eight columns, in both windings; inside the target, and in its bottom right
// corner, where the box's last pixel is the buffers' last and the rows the walk asks for
// ahead lie past their end.
TEST(TinyTriangles, BoxesCutShortByTheScissor) {
    constexpr int kW = 48, kH = 40;
    for (int k = 0; k < 16; ++k) {
        const int rows = k % 8 + 1, place = k / 8;
        for (const int columns : {3, 8, 9, 15, 16}) {
            const int left = place == 0 ? 5 : kW - columns, top = place == 0 ? 6 : kH - rows;
            const raster::Rect scissor{left, top, left + columns, top + rows};
            Canvas out[2] = {Canvas(kW, kH), Canvas(kW, kH)};
            for (int reference = 0; reference < 2; ++reference) {
                const raster::Pipeline p = Compiled(reference != 0);
                raster::Batch batch(true);
                std::mt19937 rng(static_cast<unsigned>(rows * 16 + columns));
                std::uniform_real_distribution<float> unit(0.0f, 1.0f);
                // A zigzag across the scissor's corner, each vertex up to 30 pixels from it.
                std::vector<raster::Vertex> v(40);
                for (std::size_t i = 0; i < v.size(); ++i) {
                    raster::Vertex& u = v[i];
                    u = {};
                    u.x = static_cast<float>(left) + (i % 2 == 0 ? -6.0f : 24.0f) * unit(rng) + static_cast<float>(columns) * 0.5f;
                    u.y = static_cast<float>(top) + (i % 4 < 2 ? -5.0f : 30.0f) * unit(rng) + static_cast<float>(rows) * 0.5f;
                    u.a[raster::kZ] = unit(rng);
                    u.a[raster::kQ] = 0.2f + unit(rng);
                    for (int k = raster::kDiffuse; k < raster::kDiffuse + 4; ++k) u.a[k] = unit(rng) * 250.0f;
                }
                raster::DrawStrip(out[reference].target, scissor, p, v.data(), sizeof(raster::Vertex),
                                  static_cast<int>(v.size()) - 2, rows % 2 != 0, reference == 0 ? &batch : nullptr);
                batch.Settle();
            }
            EXPECT_EQ(out[0].colour, out[1].colour) << place << ": " << rows << " x " << columns;
            EXPECT_EQ(out[0].depth, out[1].depth) << place << ": " << rows << " x " << columns;
        }
    }
}

// Thin triangles across their depth range have steep planes, whose values at a row's first
// pixel are sums of terms far larger than the depth: any other order of the sums, or any
// other start of a row, comes out as a different stored depth.
TEST(TinyTriangles, SteepPlanesRoundAsTheRowLoop) {
    // Far apart on a cleared depth, so that most of their pixels are drawn.
    constexpr int kW = 256, kH = 160;
    Canvas out[2] = {Canvas(kW, kH), Canvas(kW, kH)};
    for (int reference = 0; reference < 2; ++reference) {
        std::fill(out[reference].depth.begin(), out[reference].depth.end(), std::uint16_t{0xFFFF});
        const raster::Pipeline p = Compiled(reference != 0);
        raster::Batch batch(true);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> at(0.0f, 240.0f), along(2.0f, 7.9f), across(0.2f, 0.9f), unit(0.0f, 1.0f);
        for (int i = 0; i < 4500; ++i) {
            // Tall ones up to 8 rows, wide ones up to 8 columns or 16 (rows of two groups).
            const bool tall = i % 3 == 1;
            const float x = at(rng), y = at(rng) * 0.6f, a = along(rng) * (i % 3 == 2 ? 2.0f : 1.0f), b = across(rng);
            raster::Vertex v[3] = {};
            const float xy[3][2] = {{x, y}, {tall ? x + b : x + a, tall ? y + a : y + b}, {tall ? x : x + a, tall ? y + a : y}};
            for (int k = 0; k < 3; ++k) {
                v[k].x = xy[k][0];
                v[k].y = xy[k][1];
                v[k].a[raster::kZ] = k == 1 ? unit(rng) : 1.0f - unit(rng) * 0.1f;
                v[k].a[raster::kQ] = 1.0f;
                for (int c = raster::kDiffuse; c < raster::kDiffuse + 4; ++c) v[k].a[c] = unit(rng) * 255.0f;
            }
            raster::DrawTriangle(out[reference].target, {0, 0, kW, kH}, p, v[0], v[1], v[2],
                                 reference == 0 ? &batch : nullptr);
        }
        batch.Settle();
    }
    EXPECT_EQ(out[0].colour, out[1].colour);
    EXPECT_EQ(out[0].depth, out[1].depth);
}

// Triangles that cover no pixel centre in boxes that hold some: slivers along a row or a
// column of centres, which the fill rule leaves out on one side, and thin ones between
// centres. They change nothing, whether found empty at setup or drawn.
TEST(TinyTriangles, SliversBetweenCentres) {
    constexpr int kW = 24, kH = 16;
    Canvas out[2] = {Canvas(kW, kH), Canvas(kW, kH)};
    const Canvas untouched(kW, kH);
    for (int reference = 0; reference < 2; ++reference) {
        const raster::Pipeline p = Compiled(reference != 0);
        raster::Batch batch(true);
        auto draw = [&](float x0, float y0, float x1, float y1, float x2, float y2) {
            raster::Vertex v[3] = {};
            const float xy[3][2] = {{x0, y0}, {x1, y1}, {x2, y2}};
            for (int i = 0; i < 3; ++i) {
                v[i].x = xy[i][0];
                v[i].y = xy[i][1];
                v[i].a[raster::kZ] = 0.0f;
                v[i].a[raster::kQ] = 1.0f;
                v[i].a[raster::kDiffuse + 1] = 200.0f;
            }
            raster::DrawTriangle(out[reference].target, {0, 0, kW, kH}, p, v[0], v[1], v[2],
                                 reference == 0 ? &batch : nullptr);
            raster::DrawTriangle(out[reference].target, {0, 0, kW, kH}, p, v[0], v[2], v[1],
                                 reference == 0 ? &batch : nullptr);
        };
        for (int x = 1; x < 14; x += 3) {
            for (int y = 1; y < 8; y += 2) {
                const float fx = static_cast<float>(x), fy = static_cast<float>(y);
                draw(fx + 0.25f, fy + 0.1f, fx + 7.75f, fy + 0.1f, fx + 4.0f, fy + 0.9f); // between rows
                draw(fx + 0.1f, fy + 0.25f, fx + 0.9f, fy + 3.0f, fx + 0.1f, fy + 7.75f); // between columns
                draw(fx, fy - 0.5f, fx + 7.0f, fy + 0.0f, fx + 7.0f, fy - 0.5f);          // a bottom edge on centres
                draw(fx + 0.5f, fy + 0.5f, fx + 8.4f, fy + 7.4f, fx + 8.4f, fy + 7.6f);    // a diagonal thread
                draw(fx + 0.25f, fy + 0.1f, fx + 9.75f, fy + 0.1f, fx + 5.0f, fy + 0.9f); // between rows, 10 wide
                draw(fx + 0.5f, fy + 0.5f, fx + 9.9f, fy + 7.4f, fx + 9.9f, fy + 7.6f);    // a wider thread
            }
        }
        batch.Settle();
    }
    EXPECT_EQ(out[0].colour, out[1].colour);
    EXPECT_EQ(out[0].depth, out[1].depth);
    EXPECT_EQ(out[0].colour, untouched.colour);
}

} // namespace
