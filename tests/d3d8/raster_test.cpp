// The rasteriser's rules on small targets: coverage and the fill rule, lines, depth,
// blending, and the agreement of the fast pixel loops with the general one.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/raster.h"

namespace {

using raster::Vertex;

Vertex V(float x, float y, std::uint32_t argb = 0xFFFFFFFFu, float z = 0.0f, float q = 1.0f) {
    Vertex v{};
    v.x = x;
    v.y = y;
    v.a[raster::kZ] = z;
    v.a[raster::kQ] = q;
    for (int i = 0; i < 4; ++i)
        v.a[raster::kDiffuse + i] = static_cast<float>((argb >> (8 * i)) & 0xFF) * q;
    return v;
}

struct Canvas {
    explicit Canvas(int w, int h, std::uint32_t fill = 0)
        : colour(static_cast<std::size_t>(w) * h, fill), depth(colour.size(), 0xFFFF) {
        target = {colour.data(), depth.data(), w, h};
    }
    std::uint32_t At(int x, int y) const { return colour[y * target.width + x]; }
    raster::Rect All() const { return {0, 0, target.width, target.height}; }
    std::vector<std::uint32_t> colour;
    std::vector<std::uint16_t> depth;
    raster::Target target;
};

// Untextured, no depth, no culling: the state the overlay draws with.
raster::State Flat2D() {
    raster::State s;
    s.depthTest = false;
    s.cull = raster::Cull::None;
    return s;
}

// Adds 1 to the blue channel per covered pixel, so the picture counts coverage.
raster::Pipeline Counting() {
    raster::State s = Flat2D();
    s.blend = true;
    s.srcBlend = raster::Factor::One;
    s.destBlend = raster::Factor::One;
    raster::Pipeline p;
    p.Compile(s);
    return p;
}

// The blue channel of every pixel as a digit, '.' for none.
std::string Picture(const Canvas& c) {
    std::string out;
    for (int y = 0; y < c.target.height; ++y) {
        for (int x = 0; x < c.target.width; ++x) {
            std::uint32_t n = c.At(x, y) & 0xFF;
            out += n == 0 ? '.' : static_cast<char>('0' + std::min(n, 9u));
        }
        out += '\n';
    }
    return out;
}

struct Shape {
    bool line;
    float p[6]; // x0 y0 x1 y1 (x2 y2)
};

struct CoverageCase {
    const char* rule;
    std::vector<Shape> shapes;
    const char* expected;
};

// Each shape adds one to the pixels it covers; the picture shows the counts.
const CoverageCase kCoverage[] = {
    {"integer square: left and top edges are in, right and bottom edges out",
     {{false, {2, 1, 6, 1, 2, 5}}, {false, {6, 1, 6, 5, 2, 5}}},
     "........\n"
     "..1111..\n"
     "..1111..\n"
     "..1111..\n"
     "..1111..\n"
     "........\n"},
    {"pixel centres sit on integers: a square from 1.5 to 4.5 covers 2, 3, 4",
     {{false, {1.5f, 0.5f, 4.5f, 0.5f, 1.5f, 3.5f}}, {false, {4.5f, 0.5f, 4.5f, 3.5f, 1.5f, 3.5f}}},
     "........\n"
     "..111...\n"
     "..111...\n"
     "..111...\n"
     "........\n"
     "........\n"},
    {"shared diagonal through pixel centres is drawn once",
     {{false, {1, 0, 7, 0, 1, 6}}, {false, {7, 0, 7, 6, 1, 6}}},
     ".111111.\n"
     ".111111.\n"
     ".111111.\n"
     ".111111.\n"
     ".111111.\n"
     ".111111.\n"},
    {"a fan of six around a pixel centre covers each pixel once, winding either way",
     {{false, {4, 3, 7, 3, 5.5f, 5.6f}}, {false, {4, 3, 5.5f, 5.6f, 2.5f, 5.6f}},
      {false, {4, 3, 1, 3, 2.5f, 5.6f}}, {false, {4, 3, 1, 3, 2.5f, 0.4f}},
      {false, {4, 3, 2.5f, 0.4f, 5.5f, 0.4f}}, {false, {4, 3, 7, 3, 5.5f, 0.4f}}},
     "........\n"
     "...111..\n"
     "..11111.\n"
     ".111111.\n"
     "..11111.\n"
     "...111..\n"},
    {"a triangle thinner than a pixel centre row draws nothing",
     {{false, {1, 2.2f, 7, 2.2f, 4, 2.9f}}},
     "........\n"
     "........\n"
     "........\n"
     "........\n"
     "........\n"
     "........\n"},
    {"lines: start pixel drawn, end pixel not, in every direction",
     {{true, {1, 0, 6, 0}}, {true, {6, 1, 1, 1}}, {true, {7, 0, 7, 5}}, {true, {0, 5, 0, 2}},
      {true, {2, 2, 5, 5}}},
     ".11111.1\n"
     "..111111\n"
     "..1....1\n"
     "1..1...1\n"
     "1...1..1\n"
     "1.......\n"},
    {"lines: the minor axis rounds at each major pixel; sub-pixel lines draw nothing",
     {{true, {0.6f, 1.4f, 6.4f, 3.6f}}, {true, {3.2f, 5, 3.4f, 5}}},
     "........\n"
     "........\n"
     ".111....\n"
     "....11..\n"
     "........\n"
     "........\n"},
};

TEST(Raster, CoverageTable) {
    raster::Pipeline p = Counting();
    for (const CoverageCase& c : kCoverage) {
        Canvas canvas(8, 6);
        for (const Shape& s : c.shapes) {
            const float* f = s.p;
            if (s.line) {
                raster::DrawLine(canvas.target, canvas.All(), p, V(f[0], f[1], 1), V(f[2], f[3], 1));
            } else {
                raster::DrawTriangle(canvas.target, canvas.All(), p, V(f[0], f[1], 1),
                                     V(f[2], f[3], 1), V(f[4], f[5], 1));
            }
        }
        EXPECT_EQ(Picture(canvas), c.expected) << c.rule;
    }
}

// A mesh of many small triangles over a region, with shared edges at awkward slopes, must
// add up to exactly one everywhere inside it (no seams drawn twice, no cracks).
TEST(Raster, MeshCoversEveryPixelExactlyOnce) {
    raster::Pipeline p = Counting();
    Canvas canvas(64, 64);
    const int n = 9;
    float gx[n + 1][n + 1], gy[n + 1][n + 1];
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            bool rim = i == 0 || j == 0 || i == n || j == n;
            // Interior points wobble by fractions of a pixel; the rim stays straight.
            gx[j][i] = 4.0f + 6.0f * i + (rim ? 0.0f : 0.37f * ((i * 7 + j * 3) % 5 - 2));
            gy[j][i] = 4.0f + 6.0f * j + (rim ? 0.0f : 0.29f * ((i * 5 + j * 11) % 7 - 3));
        }
    }
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            Vertex a = V(gx[j][i], gy[j][i], 1), b = V(gx[j][i + 1], gy[j][i + 1], 1);
            Vertex c = V(gx[j + 1][i], gy[j + 1][i], 1), d = V(gx[j + 1][i + 1], gy[j + 1][i + 1], 1);
            raster::DrawTriangle(canvas.target, canvas.All(), p, a, b, d);
            raster::DrawTriangle(canvas.target, canvas.All(), p, a, c, d);
        }
    }
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            std::uint32_t expected = (x >= 4 && x < 58 && y >= 4 && y < 58) ? 1 : 0;
            ASSERT_EQ(canvas.At(x, y) & 0xFF, expected) << x << "," << y;
        }
    }
}

TEST(Raster, DepthFunctionAndWriteEnable) {
    struct Case {
        raster::Cmp func;
        bool write;
        float z;
        std::uint32_t colour;    // expected at the pixel after drawing red at z over 0.5
        std::uint16_t depth;     // expected depth after
    } cases[] = {
        {raster::Cmp::LessEqual, true, 0.5f, 0xFFFF0000u, 32768},  // equal passes
        {raster::Cmp::LessEqual, true, 0.75f, 0xFF0000FFu, 32768}, // farther fails
        {raster::Cmp::LessEqual, true, 0.25f, 0xFFFF0000u, 16384},
        {raster::Cmp::LessEqual, false, 0.25f, 0xFFFF0000u, 32768},
        {raster::Cmp::Always, true, 0.75f, 0xFFFF0000u, 49151},
        {raster::Cmp::Always, false, 0.75f, 0xFFFF0000u, 32768},
        {raster::Cmp::Less, true, 0.5f, 0xFF0000FFu, 32768},
        {raster::Cmp::Greater, true, 0.75f, 0xFFFF0000u, 49151},
        {raster::Cmp::Never, true, 0.25f, 0xFF0000FFu, 32768},
    };
    for (const Case& c : cases) {
        Canvas canvas(4, 4, 0xFF0000FFu);
        raster::ClearDepth(canvas.target, canvas.All(), 0.5f);
        raster::State s = Flat2D();
        s.depthTest = true;
        s.depthFunc = c.func;
        s.depthWrite = c.write;
        raster::Pipeline p;
        p.Compile(s);
        raster::DrawTriangle(canvas.target, canvas.All(), p, V(0, 0, 0xFFFF0000u, c.z),
                             V(4, 0, 0xFFFF0000u, c.z), V(0, 4, 0xFFFF0000u, c.z));
        EXPECT_EQ(canvas.At(1, 1), c.colour) << int(c.func) << " " << c.write << " " << c.z;
        EXPECT_EQ(canvas.depth[1 * 4 + 1], c.depth) << int(c.func) << " " << c.write;
    }
}

TEST(Raster, SourceAlphaBlendRoundsToNearest) {
    Canvas canvas(4, 4, 0xFF204060u);
    raster::State s = Flat2D();
    s.blend = true;
    s.srcBlend = raster::Factor::SrcAlpha;
    s.destBlend = raster::Factor::InvSrcAlpha;
    raster::Pipeline p;
    p.Compile(s);
    const std::uint32_t src = 0x80FFFFFFu; // white at 128/255
    raster::DrawTriangle(canvas.target, canvas.All(), p, V(0, 0, src), V(4, 0, src), V(0, 4, src));
    // r = (255*128 + 0x20*127) / 255 = 143.9 -> 144; g 159.9 -> 160; b 175.8 -> 176;
    // alpha blends too: (128*128 + 255*127) / 255 = 191.3 -> 191.
    EXPECT_EQ(canvas.At(0, 0), 0xBF90A0B0u);
    EXPECT_EQ(canvas.At(3, 3), 0xFF204060u);
}

TEST(Raster, ColoursInterpolateAndRoundAtThePixel) {
    Canvas canvas(11, 2);
    raster::Pipeline p;
    p.Compile(Flat2D());
    // Red runs 0 -> 250 from x = 0 to x = 10: 25 per pixel; pixel 10 is on the right edge.
    raster::DrawTriangle(canvas.target, canvas.All(), p, V(0, 0, 0xFF000000u), V(10, 0, 0xFFFA0000u),
                         V(0, 2, 0xFF000000u));
    raster::DrawTriangle(canvas.target, canvas.All(), p, V(10, 0, 0xFFFA0000u), V(10, 2, 0xFFFA0000u),
                         V(0, 2, 0xFF000000u));
    for (int x = 0; x < 10; ++x) EXPECT_EQ((canvas.At(x, 1) >> 16) & 0xFF, 25u * x) << x;
    EXPECT_EQ(canvas.At(10, 1), 0u);
}

TEST(Raster, PerspectiveInterpolationFollowsQ) {
    // Along a span whose right end is three times nearer (q = 3), the colour at the
    // screen midpoint is not the mean of the ends: it is weighted by q.
    Canvas canvas(9, 1);
    raster::Pipeline p;
    p.Compile(Flat2D());
    Vertex a = V(0, -1, 0xFF000000u, 0, 1), b = V(8, -1, 0xFFFF0000u, 0, 3), c = V(0, 3, 0xFF000000u, 0, 1);
    Vertex d = V(8, 3, 0xFFFF0000u, 0, 3);
    raster::DrawTriangle(canvas.target, canvas.All(), p, a, b, c);
    raster::DrawTriangle(canvas.target, canvas.All(), p, b, d, c);
    // At the middle: q = 2, red x q = 0.5 x 765 = 382.5, red = 191.25 -> 191.
    EXPECT_EQ((canvas.At(4, 0) >> 16) & 0xFF, 191u);
}

TEST(Raster, TrianglesFarOutsideAreClippedNotOverflowed) {
    raster::Pipeline p = Counting();
    Canvas canvas(8, 8);
    raster::DrawTriangle(canvas.target, canvas.All(), p, V(-1e7f, -1e7f, 1), V(1e7f, -1e7f, 1),
                         V(0, 1e7f, 1));
    raster::DrawLine(canvas.target, canvas.All(), p, V(-3e9f, 2, 1), V(3e9f, 2, 1));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(canvas.At(x, y) & 0xFF, y == 2 ? 2u : 1u);
    // Non-finite positions draw nothing.
    float nan = std::numeric_limits<float>::quiet_NaN();
    raster::DrawTriangle(canvas.target, canvas.All(), p, V(nan, 0, 1), V(8, 0, 1), V(0, 8, 1));
    raster::DrawLine(canvas.target, canvas.All(), p, V(0, 0, 1), V(std::numeric_limits<float>::infinity(), 0, 1));
    EXPECT_EQ(canvas.At(1, 1) & 0xFF, 1u);
}

TEST(Raster, ScissorBoundsEveryPrimitive) {
    raster::Pipeline p = Counting();
    Canvas canvas(8, 8);
    raster::Rect box = {2, 3, 5, 6};
    raster::DrawTriangle(canvas.target, box, p, V(-10, -10, 1), V(20, -10, 1), V(-10, 20, 1));
    raster::DrawLine(canvas.target, box, p, V(0, 4, 1), V(8, 4, 1));
    raster::DrawPoint(canvas.target, box, p, V(1, 1, 1));
    raster::DrawPoint(canvas.target, box, p, V(4.4f, 5.4f, 1));
    EXPECT_EQ(Picture(canvas),
              "........\n"
              "........\n"
              "........\n"
              "..111...\n"
              "..222...\n"
              "..112...\n"
              "........\n"
              "........\n");
}

TEST(Raster, CullingFollowsScreenWinding) {
    Canvas canvas(4, 4);
    raster::State s = Flat2D();
    raster::Pipeline p;
    // (0,0) (4,0) (0,4) runs clockwise on screen.
    for (raster::Cull cull : {raster::Cull::None, raster::Cull::Clockwise, raster::Cull::CounterClockwise}) {
        s.cull = cull;
        p.Compile(s);
        canvas.colour.assign(16, 0);
        raster::DrawTriangle(canvas.target, canvas.All(), p, V(0, 0), V(4, 0), V(0, 4));
        bool cw = canvas.At(0, 0) != 0;
        canvas.colour.assign(16, 0);
        raster::DrawTriangle(canvas.target, canvas.All(), p, V(0, 0), V(0, 4), V(4, 0));
        bool ccw = canvas.At(0, 0) != 0;
        EXPECT_EQ(cw, cull != raster::Cull::Clockwise);
        EXPECT_EQ(ccw, cull != raster::Cull::CounterClockwise);
    }
}

// Texel centres at (i + 0.5) / size; linear filtering across the wrap reads the far side.
TEST(Raster, TextureSamplingTable) {
    const std::uint32_t texels[2][4] = {{0x00000000u, 0xFFFFFFFFu, 0x11223344u, 0x80402010u},
                                        {0x10204080u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u}};
    const struct {
        raster::Filter filter;
        float u, v;
        std::uint32_t expected;
    } cases[] = {
        {raster::Filter::Linear, 0.125f, 0.25f, 0x00000000u},  // texel (0,0)'s centre
        {raster::Filter::Linear, 0.375f, 0.75f, 0x55667788u},  // texel (1,1)'s centre
        {raster::Filter::Linear, 0.25f, 0.25f, 0x7F7F7F7Fu},   // between (0,0) and (1,0)
        {raster::Filter::Linear, 0.0f, 0.25f, 0x40201008u},    // between (3,0) and (0,0)
        {raster::Filter::Linear, 0.125f, 0.0f, 0x08102040u},   // between (0,1) and (0,0)
        {raster::Filter::Linear, 1.125f, -0.75f, 0x00000000u}, // whole turns away
        {raster::Filter::Point, 0.3f, 0.6f, 0x55667788u},      // the texel containing it
        {raster::Filter::Point, -0.1f, 0.25f, 0x80402010u},
    };
    for (bool fast : {false, true}) {
        for (const auto& c : cases) {
            raster::State s = Flat2D();
            raster::Stage& g = s.stages[0];
            // Modulating white takes the fast loops; selecting the texture the general one.
            g.colourOp = fast ? raster::kOpModulate : raster::kOpSelect1;
            g.colourArg1 = raster::kArgTexture;
            g.colourArg2 = raster::kArgDiffuse;
            g.alphaOp = raster::kOpSelect1;
            g.alphaArg1 = raster::kArgTexture;
            g.magFilter = g.minFilter = c.filter;
            g.texture = {&texels[0][0], 4, 2};
            raster::Pipeline p;
            p.Compile(s);
            Vertex v[3] = {V(0, 0), V(2, 0), V(0, 2)};
            for (Vertex& x : v) x.a[raster::kTex0] = c.u, x.a[raster::kTex0 + 1] = c.v;
            Canvas canvas(2, 2);
            raster::DrawTriangle(canvas.target, canvas.All(), p, v[0], v[1], v[2]);
            EXPECT_EQ(canvas.At(0, 0), c.expected) << c.u << "," << c.v << " fast " << fast;
        }
    }
}

// The loops chosen for common states must give exactly the pixels of the general loop.
TEST(Raster, FastLoopsMatchTheGeneralLoop) {
    std::uint32_t texels[8 * 4];
    for (int i = 0; i < 32; ++i) texels[i] = 0x11000000u * (i % 16) + 0x00102030u * i + 0x000F0703u;
    struct Case {
        std::uint8_t colourOp, colourArg1, colourArg2, alphaOp, alphaArg1;
        bool textured, blend;
        raster::Filter filter;
    } cases[] = {
        {raster::kOpBlendTextureAlpha, raster::kArgDiffuse, raster::kArgTexture, raster::kOpSelect1,
         raster::kArgTexture | raster::kArgAlphaReplicate, true, false, raster::Filter::Linear},
        {raster::kOpBlendTextureAlpha, raster::kArgDiffuse, raster::kArgTexture, raster::kOpSelect1,
         raster::kArgTexture, true, true, raster::Filter::Point},
        {raster::kOpModulate, raster::kArgTexture, raster::kArgCurrent, raster::kOpSelect1,
         raster::kArgTexture, true, false, raster::Filter::Linear},
        {raster::kOpModulate, raster::kArgTexture, raster::kArgCurrent, raster::kOpSelect1,
         raster::kArgTexture, true, true, raster::Filter::Point},
        {raster::kOpBlendTextureAlpha, raster::kArgDiffuse, raster::kArgTexture, raster::kOpSelect1,
         raster::kArgTexture, false, true, raster::Filter::Linear},
        {raster::kOpDisable, raster::kArgTexture, raster::kArgCurrent, raster::kOpDisable,
         raster::kArgTexture, true, false, raster::Filter::Point},
    };
    for (const Case& c : cases) {
        raster::State s;
        s.cull = raster::Cull::None;
        s.blend = c.blend;
        s.srcBlend = raster::Factor::SrcAlpha;
        s.destBlend = raster::Factor::InvSrcAlpha;
        raster::Stage& g = s.stages[0];
        g.colourOp = c.colourOp, g.colourArg1 = c.colourArg1, g.colourArg2 = c.colourArg2;
        g.alphaOp = c.alphaOp, g.alphaArg1 = c.alphaArg1;
        g.magFilter = g.minFilter = c.filter;
        if (c.textured) g.texture = {texels, 8, 4};
        Canvas out[2] = {Canvas(24, 24, 0x80402010u), Canvas(24, 24, 0x80402010u)};
        for (int generic = 0; generic < 2; ++generic) {
            s.forceGeneric = generic != 0;
            raster::Pipeline p;
            p.Compile(s);
            Vertex a = V(1, 1, 0x80FF8040u, 0.2f, 1.0f), b = V(23, 3, 0x40408020u, 0.9f, 0.25f);
            Vertex d = V(2, 22, 0xC01080F0u, 0.5f, 0.5f);
            const float uv[3][2] = {{-0.3f, 0.1f}, {2.7f, -0.4f}, {0.6f, 1.9f}};
            Vertex* vs[3] = {&a, &b, &d};
            for (int i = 0; i < 3; ++i) {
                float q = vs[i]->a[raster::kQ];
                vs[i]->a[raster::kTex0] = uv[i][0] * q;
                vs[i]->a[raster::kTex0 + 1] = uv[i][1] * q;
            }
            raster::DrawTriangle(out[generic].target, out[generic].All(), p, a, b, d);
            raster::DrawTriangle(out[generic].target, out[generic].All(), p, a, d, b);
        }
        EXPECT_EQ(out[0].colour, out[1].colour) << int(c.colourOp) << " " << c.blend;
        EXPECT_EQ(out[0].depth, out[1].depth);
    }
}

// Wild input under every kind of state: huge, tiny, non-finite and degenerate shapes,
// q of zero or below, extreme texture coordinates. Nothing outside the scissor may change
// (and under the sanitizers nothing may be read or written out of bounds).
TEST(Raster, WildInputStaysInsideTheScissor) {
    std::mt19937 rng(12345);
    auto pick = [&](std::initializer_list<float> values) {
        return *(values.begin() + std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(rng));
    };
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    std::uint32_t texels[4 * 8];
    for (std::uint32_t& t : texels) t = rng();
    const std::uint32_t kOutside = 0x12345678u;
    Canvas canvas(64, 48, kOutside);
    const raster::Rect box = {8, 6, 56, 40};
    for (int round = 0; round < 300; ++round) {
        raster::State s;
        s.depthTest = rng() % 2;
        s.depthWrite = rng() % 2;
        s.depthFunc = static_cast<raster::Cmp>(1 + rng() % 8);
        s.blend = rng() % 2;
        s.srcBlend = static_cast<raster::Factor>(1 + rng() % 13);
        s.destBlend = static_cast<raster::Factor>(1 + rng() % 13);
        s.alphaTest = rng() % 4 == 0;
        s.alphaFunc = static_cast<raster::Cmp>(1 + rng() % 8);
        s.cull = static_cast<raster::Cull>(1 + rng() % 3);
        s.flat = rng() % 4 == 0;
        s.addSpecular = rng() % 4 == 0;
        for (raster::Stage& g : s.stages) {
            g.colourOp = static_cast<std::uint8_t>(1 + rng() % 16);
            g.alphaOp = static_cast<std::uint8_t>(1 + rng() % 16);
            g.colourArg1 = static_cast<std::uint8_t>((rng() % 5) | (rng() % 4 << 4));
            g.colourArg2 = static_cast<std::uint8_t>((rng() % 5) | (rng() % 4 << 4));
            g.alphaArg1 = static_cast<std::uint8_t>((rng() % 5) | (rng() % 4 << 4));
            g.magFilter = rng() % 2 ? raster::Filter::Linear : raster::Filter::Point;
            g.minFilter = rng() % 2 ? raster::Filter::Linear : raster::Filter::Point;
            g.addressU = static_cast<raster::Address>(1 + rng() % 3);
            g.addressV = static_cast<raster::Address>(1 + rng() % 3);
            if (rng() % 2) g.texture = {texels, rng() % 2 ? 4 : 3, rng() % 2 ? 8 : 5};
        }
        raster::Pipeline p;
        p.Compile(s);
        Vertex v[3];
        for (Vertex& x : v) {
            x.x = pick({0.0f, 31.5f, -7.25f, 70.0f, 1e6f, -3e7f, inf, nan, 20.0f, 45.0f});
            x.y = pick({0.0f, 23.5f, -9.0f, 50.0f, 2e6f, -inf, 10.0f, 39.99f});
            for (float& a : x.a) a = pick({0.0f, 0.5f, 1.0f, 255.0f, -3.0f, 1e9f, -1e9f, 1e-30f, nan});
            x.a[raster::kQ] = pick({1.0f, 0.5f, 0.0f, -1.0f, 1e-20f, 3.0f});
        }
        switch (rng() % 3) {
        case 0: raster::DrawTriangle(canvas.target, box, p, v[0], v[1], v[2]); break;
        case 1: raster::DrawLine(canvas.target, box, p, v[0], v[1]); break;
        default: raster::DrawPoint(canvas.target, box, p, v[0]); break;
        }
    }
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) continue;
            ASSERT_EQ(canvas.At(x, y), kOutside) << x << "," << y;
            ASSERT_EQ(canvas.depth[y * 64 + x], 0xFFFF) << x << "," << y;
        }
    }
}

} // namespace
