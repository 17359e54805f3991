// Lit vertices transformed sixteen, eight or four at a time against one at a time: a draw
// of three vertices takes the one-at-a-time path, a longer draw the lanes, and the same
// triangles drawn either way must give the same pixels under every lighting state the lanes
// cover. Every test runs with the sixteen-wide lanes on (where the processor has them) and
// off.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "device_fixture.h"
#include "platform/d3d8_device.h"

namespace {

struct Vertex { // FVF XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1
    float x, y, z, nx, ny, nz;
    DWORD diffuse, specular;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;
constexpr int kTriangles = 40;

class VertexLanes : public DeviceTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        d3d8::TransformSixteen(GetParam());
        MakeDevice(64, 48);
        std::mt19937 rng(99);
        std::uniform_real_distribution<float> pos(-1.2f, 1.2f), dir(-2.0f, 2.0f);
        for (Vertex& v : mesh) {
            // Depths from behind the eye to beyond the far plane, so that some triangles
            // are cut.
            v = {pos(rng), pos(rng), pos(rng) * 0.6f + 0.5f, dir(rng), dir(rng), dir(rng),
                 static_cast<DWORD>(rng()), static_cast<DWORD>(rng()), pos(rng), pos(rng)};
        }
        mesh[5].nx = 0.0f, mesh[5].ny = 0.0f, mesh[5].nz = 0.0f; // normalising a zero normal
        buffer = FilledBuffer(mesh, sizeof mesh);
        texture = SteppedTexture(0xFF000000u);
        ASSERT_NE(buffer, nullptr);
        ASSERT_NE(texture, nullptr);
    }
    void TearDown() override {
        d3d8::TransformSixteen(true);
        DeviceTest::TearDown();
    }

    // The frame drawn one triangle per call, then all in one call.
    std::vector<std::uint32_t> Frame(bool oneCall) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->SetVertexShader(kFvf);
        device->SetStreamSource(0, buffer, sizeof(Vertex));
        if (oneCall) {
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, kTriangles);
        } else {
            for (UINT i = 0; i < kTriangles; ++i) device->DrawPrimitive(D3DPT_TRIANGLELIST, 3 * i, 1);
        }
        return std::vector<std::uint32_t>(pixels, pixels + 64 * 48);
    }

    // A strip's triangles as a list, in its order, each turned as the strip's parity turns it.
    static std::vector<Vertex> StripAsList(const Vertex* strip, UINT triangles) {
        std::vector<Vertex> list;
        for (UINT i = 0; i < triangles; ++i) {
            const bool swap = (i & 1) != 0;
            list.insert(list.end(), {strip[swap ? i + 1 : i], strip[swap ? i : i + 1], strip[i + 2]});
        }
        return list;
    }

    // The frame of `triangles` of `type` from `from`, drawn in one call.
    std::vector<std::uint32_t> Drawn(IDirect3DVertexBuffer8* from, D3DPRIMITIVETYPE type, UINT triangles) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->SetStreamSource(0, from, sizeof(Vertex));
        device->DrawPrimitive(type, 0, triangles);
        return std::vector<std::uint32_t>(pixels, pixels + 64 * 48);
    }

    // Its pixels that are not black.
    static int Lit(const std::vector<std::uint32_t>& frame) {
        int lit = 0;
        for (std::uint32_t p : frame) lit += (p & 0x00FFFFFFu) != 0;
        return lit;
    }

    Vertex mesh[3 * kTriangles];
    IDirect3DVertexBuffer8* buffer = nullptr;
    IDirect3DTexture8* texture = nullptr;
};

D3DLIGHT8 Light(D3DLIGHTTYPE type, float range) {
    D3DLIGHT8 l{};
    l.Type = type;
    l.Diffuse = {0.9f, 0.6f, 1.3f, 0.0f};
    l.Ambient = {0.1f, 0.05f, 0.2f, 0.0f};
    l.Position = {0.4f, 0.8f, -0.5f};
    l.Direction = {0.3f, -1.0f, 0.2f};
    l.Range = range;
    l.Attenuation0 = 0.2f;
    l.Attenuation1 = 0.3f;
    l.Attenuation2 = 0.1f;
    return l;
}

// A world matrix with no symmetry (turned, stretched unevenly, moved), so that positions
// and normals must each take its elements in the right order.
D3DMATRIX UnevenWorld() {
    D3DMATRIX world{};
    const float turn = 0.3f;
    world._11 = 1.1f * std::cos(turn), world._12 = 0.9f * std::sin(turn), world._13 = 0.05f;
    world._21 = -1.1f * std::sin(turn), world._22 = 0.9f * std::cos(turn), world._23 = -0.1f;
    world._31 = 0.08f, world._32 = 0.02f, world._33 = 1.0f;
    world._41 = 0.05f, world._42 = -0.05f, world._43 = 0.02f, world._44 = 1.0f;
    return world;
}

// A lit draw's states: no culling, this ambient, the material (its diffuse and ambient
// colours fixed, its emissive given), the point light reaching every vertex, and the texture
// modulating the lit colour.
void LitByPoint(IDirect3DDevice8* device, IDirect3DTexture8* texture, DWORD ambient, D3DCOLORVALUE emissive) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_AMBIENT, ambient);
    D3DMATERIAL8 mat{};
    mat.Diffuse = {0.7f, 0.5f, 0.3f, 0.8f};
    mat.Ambient = {1.0f, 0.6f, 0.2f, 1.0f};
    mat.Emissive = emissive;
    device->SetMaterial(&mat);
    const D3DLIGHT8 point = Light(D3DLIGHT_POINT, 100.0f);
    device->SetLight(0, &point);
    device->LightEnable(0, TRUE);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
}

TEST_P(VertexLanes, SamePixelsAsOneVertexAtATime) {
    const struct {
        const char* name;
        D3DLIGHTTYPE first;
        float range;
        bool second, normalise;
        DWORD diffuseSource, emissiveSource;
    } cases[] = {
        {"point light, the ring pass's sources", D3DLIGHT_POINT, 100.0f, false, false, D3DMCS_COLOR1, D3DMCS_COLOR1},
        {"point light reaching only near vertices", D3DLIGHT_POINT, 1.6f, false, false, D3DMCS_COLOR1, D3DMCS_MATERIAL},
        {"directional light, normalised normals", D3DLIGHT_DIRECTIONAL, 0.0f, false, true, D3DMCS_MATERIAL, D3DMCS_COLOR2},
        {"two lights, colours from the specular", D3DLIGHT_POINT, 100.0f, true, true, D3DMCS_COLOR2, D3DMCS_COLOR1},
    };
    for (const auto& c : cases) {
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_AMBIENT, 0x00102030u);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, c.normalise);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, c.diffuseSource);
        device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource);
        D3DMATERIAL8 mat{};
        mat.Diffuse = {0.7f, 0.5f, 0.3f, 0.8f};
        mat.Ambient = {1.0f, 0.6f, 0.2f, 1.0f};
        mat.Emissive = {0.05f, 0.1f, 0.0f, 0.0f};
        device->SetMaterial(&mat);
        const D3DLIGHT8 first = Light(c.first, c.range);
        device->SetLight(0, &first);
        device->LightEnable(0, TRUE);
        const D3DLIGHT8 second = Light(D3DLIGHT_DIRECTIONAL, 0.0f);
        device->SetLight(1, &second);
        device->LightEnable(1, c.second);
        // Stage 0 adds the texture coordinates' effect: the lit colour modulates a texture.
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        const std::vector<std::uint32_t> alone = Frame(false);
        const std::vector<std::uint32_t> together = Frame(true);
        EXPECT_EQ(alone, together) << c.name;
        int lit = 0;
        for (std::uint32_t p : together) lit += (p & 0x00FFFFFFu) != 0;
        EXPECT_GT(lit, 300) << c.name << ": the mesh should cover much of the frame";
        device->SetTexture(0, nullptr);
    }
}

// The lanes read a vertex as blocks of four floats and its last four floats; every field
// must come from its own bytes whatever the format, the stride and the place of the last
// vertex (which ends the buffer here). Slots nothing should read hold NaN.
TEST_P(VertexLanes, EveryVertexFormatGivesTheSamePixelsInEveryWidth) {
    constexpr DWORD kPointSize = 0x020;
    const struct {
        const char* name;
        DWORD fvf;
        UINT size;
        int normal, diffuse, specular, tex;
        DWORD texIndex;
    } formats[] = {
        {"position and normal", D3DFVF_XYZ | D3DFVF_NORMAL, 24, 12, -1, -1, -1, 0},
        {"one whole block", D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, -1, 12, -1, -1, 0},
        {"the ring's format, stage 0 on the second set", D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | (2 << 8), 44,
         12, 24, -1, 36, 1},
        {"the third set past the whole blocks",
         D3DFVF_XYZ | D3DFVF_NORMAL | kPointSize | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | (3 << 8), 60, 12, 28, 32, 52, 2},
        {"a set across two blocks", D3DFVF_XYZ | (8 << 8), 76, -1, -1, -1, 44, 4},
        {"the set in the last bytes", D3DFVF_XYZ | (8 << 8), 76, -1, -1, -1, 68, 7},
        {"the largest format", D3DFVF_XYZ | D3DFVF_NORMAL | kPointSize | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | (8 << 8),
         100, 12, 28, 32, 84, 6},
        {"position alone", D3DFVF_XYZ, 12, -1, -1, -1, -1, 0},
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr UINT kVertices = 3 * kTriangles;
    LitByPoint(device, texture, 0x00102030u, {0.05f, 0.1f, 0.0f, 0.0f});
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2);
    const D3DMATRIX world = UnevenWorld();
    device->SetTransform(D3DTS_WORLD, &world);

    for (const auto& f : formats) {
        for (UINT extra : {0u, 12u}) {
            const UINT stride = f.size + extra;
            const UINT bytes = (kVertices - 1) * stride + f.size; // the last vertex ends the buffer
            std::vector<BYTE> data(bytes);
            auto put = [&](UINT vertex, int at, const void* value, std::size_t size) {
                std::memcpy(data.data() + vertex * stride + static_cast<UINT>(at), value, size);
            };
            for (UINT i = 0; i < bytes / 4; ++i) std::memcpy(data.data() + 4 * i, &nan, 4);
            for (UINT i = 0; i < kVertices; ++i) {
                const Vertex& m = mesh[i];
                put(i, 0, &m.x, 12);
                if (f.normal >= 0) put(i, f.normal, &m.nx, 12);
                if (f.diffuse >= 0) put(i, f.diffuse, &m.diffuse, 4);
                if (f.specular >= 0) put(i, f.specular, &m.specular, 4);
                if (f.tex >= 0) put(i, f.tex, &m.u, 8);
            }
            IDirect3DVertexBuffer8* const b = FilledBuffer(data.data(), bytes);
            ASSERT_NE(b, nullptr);

            device->SetVertexShader(f.fvf);
            device->SetStreamSource(0, b, stride);
            device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, f.texIndex);
            auto frame = [&](UINT run) {
                device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
                for (UINT i = 0; i < kTriangles; i += run)
                    device->DrawPrimitive(D3DPT_TRIANGLELIST, 3 * i, std::min(run, kTriangles - i));
                return std::vector<std::uint32_t>(pixels, pixels + 64 * 48);
            };
            const std::vector<std::uint32_t> alone = frame(1);
            EXPECT_EQ(alone, frame(kTriangles)) << f.name << ", stride " << stride;
            EXPECT_EQ(alone, frame(13)) << f.name << ", stride " << stride << ", runs of 39 vertices";
            int lit = 0;
            for (std::uint32_t p : alone) lit += (p & 0x00FFFFFFu) != 0;
            EXPECT_GT(lit, 300) << f.name << ": the mesh should cover much of the frame";
        }
    }
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTexture(0, nullptr);
}

// Vertices no mesh should hold, through eight lanes, four and one: draws of 39 vertices
// (8 x 4 + 4 + 3) against one triangle or one point per draw, under a projection that puts
// some vertices on the eye plane.
TEST_P(VertexLanes, HostileVerticesGiveTheSamePixelsInEveryWidth) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i < 3 * kTriangles; ++i) {
        Vertex& v = mesh[i];
        switch (i % 10) {
        case 0: v.x = nan; break;
        case 1: v.nz = inf; break;
        case 2: v.z = 0.0f; break;                      // w = 0
        case 3: v.z = 2e-6f; break;                     // w below the smallest divided by
        case 4: v.nx = v.ny = v.nz = 0.0f; break;
        case 5: v.y = -inf; break;
        case 6: v.nx = 3e19f, v.ny = -3e19f; break;     // its length overflows
        case 7: v.x = 1e30f; break;
        default: v.z = 0.3f + 0.1f * static_cast<float>(i % 7); break;
        }
    }
    BYTE* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, mesh, sizeof mesh);
    buffer->Unlock();

    D3DMATRIX projection{}; // w = z, depth z - 0.1
    projection._11 = projection._22 = projection._33 = projection._34 = 1.0f;
    projection._43 = -0.1f;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0x00203040u);
    D3DMATERIAL8 mat{};
    mat.Diffuse = {0.7f, 0.5f, 0.3f, 0.8f};
    mat.Ambient = {1.0f, 0.6f, 0.2f, 1.0f};
    device->SetMaterial(&mat);
    const D3DLIGHT8 point = Light(D3DLIGHT_POINT, 2.5f), sun = Light(D3DLIGHT_DIRECTIONAL, 0.0f);
    device->SetLight(0, &point);
    device->SetLight(1, &sun);
    device->LightEnable(0, TRUE);
    device->LightEnable(1, TRUE);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, buffer, sizeof(Vertex));

    auto frame = [&](const std::function<void()>& draw) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        draw();
        return std::vector<std::uint32_t>(pixels, pixels + 64 * 48);
    };
    const UINT kRun = 13; // triangles per draw
    const auto trianglesAlone = frame([&] {
        for (UINT i = 0; i < kTriangles; ++i) device->DrawPrimitive(D3DPT_TRIANGLELIST, 3 * i, 1);
    });
    const auto trianglesInRuns = frame([&] {
        for (UINT i = 0; i < kTriangles; i += kRun)
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 3 * i, i + kRun <= kTriangles ? kRun : kTriangles - i);
    });
    EXPECT_EQ(trianglesAlone, trianglesInRuns);
    const auto pointsAlone = frame([&] {
        for (UINT i = 0; i < 3 * kTriangles; ++i) device->DrawPrimitive(D3DPT_POINTLIST, i, 1);
    });
    const auto pointsInRuns = frame([&] {
        for (UINT i = 0; i < 3 * kTriangles; i += 3 * kRun)
            device->DrawPrimitive(D3DPT_POINTLIST, i, i + 3 * kRun <= 3 * kTriangles ? 3 * kRun : 3 * kTriangles - i);
    });
    EXPECT_EQ(pointsAlone, pointsInRuns);
    int lit = 0;
    for (std::uint32_t p : trianglesInRuns) lit += (p & 0x00FFFFFFu) != 0;
    EXPECT_GT(lit, 200) << "some triangles should survive the hostile vertices";
    lit = 0;
    for (std::uint32_t p : pointsInRuns) lit += (p & 0x00FFFFFFu) != 0;
    EXPECT_GT(lit, 10) << "some points should land in the frame";
}

// Lit strips and fans whose triangles are cut: the lanes leave out clip space when nothing
// lies outside a plane, so a strip with a vertex behind the eye, and a fan whose hub alone
// is, must still cut every triangle as one at a time does. A second stage reading the
// slots past the basic ones must see them too.
TEST_P(VertexLanes, LitStripsAndFansCutAsOneTriangleAtATime) {
    LitByPoint(device, texture, 0x00203040u, {0.0f, 0.0f, 0.0f, 0.0f});
    device->SetVertexShader(kFvf);

    // The fan: a hub behind the eye, the rim in front of it.
    constexpr UINT kRim = 30;
    std::vector<Vertex> fan(kRim + 1, mesh[0]);
    fan[0].x = 0.1f, fan[0].y = -0.2f, fan[0].z = -0.4f;
    for (UINT i = 1; i <= kRim; ++i) {
        const float a = 0.2f * static_cast<float>(i);
        fan[i].x = 0.9f * std::cos(a), fan[i].y = 0.8f * std::sin(a), fan[i].z = 0.2f + 0.02f * static_cast<float>(i);
        fan[i].diffuse = mesh[i].diffuse, fan[i].u = mesh[i].u, fan[i].v = mesh[i].v;
    }
    // Each shape also as a list of its triangles, drawn one at a time.
    const std::vector<Vertex> stripList = StripAsList(mesh, 3 * kTriangles - 2);
    std::vector<Vertex> fanList;
    for (UINT i = 1; i < kRim; ++i) fanList.insert(fanList.end(), {fan[0], fan[i], fan[i + 1]});
    auto upload = [&](const std::vector<Vertex>& vertices) {
        return FilledBuffer(vertices.data(), static_cast<UINT>(vertices.size() * sizeof(Vertex)));
    };
    IDirect3DVertexBuffer8* const fanBuffer = upload(fan);
    IDirect3DVertexBuffer8* const stripListBuffer = upload(stripList);
    IDirect3DVertexBuffer8* const fanListBuffer = upload(fanList);
    auto frame = [&](IDirect3DVertexBuffer8* from, D3DPRIMITIVETYPE type, UINT triangles) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->SetStreamSource(0, from, sizeof(Vertex));
        if (type != D3DPT_TRIANGLELIST) device->DrawPrimitive(type, 0, triangles);
        else
            for (UINT i = 0; i < triangles; ++i) device->DrawPrimitive(D3DPT_TRIANGLELIST, 3 * i, 1);
        return std::vector<std::uint32_t>(pixels, pixels + 64 * 48);
    };
    for (bool secondStage : {false, true}) {
        // Stage 1 modulates by the texture again through its own coordinates (set 0 too).
        device->SetTexture(1, secondStage ? texture : nullptr);
        device->SetTextureStageState(1, D3DTSS_COLOROP, secondStage ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        const char* name = secondStage ? "two stages" : "one stage";
        const std::vector<std::uint32_t> strip = frame(buffer, D3DPT_TRIANGLESTRIP, 3 * kTriangles - 2);
        EXPECT_EQ(strip, frame(stripListBuffer, D3DPT_TRIANGLELIST, 3 * kTriangles - 2)) << name;
        const std::vector<std::uint32_t> fanned = frame(fanBuffer, D3DPT_TRIANGLEFAN, kRim - 1);
        EXPECT_EQ(fanned, frame(fanListBuffer, D3DPT_TRIANGLELIST, kRim - 1)) << name;
        EXPECT_GT(Lit(fanned), 300) << name << ": the cut fan should cover much of the frame";
    }
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
}

// A lit strip wholly inside the clip planes and longer than the vertices the device
// transforms at a time: each chunk goes to the rasteriser as one strip, and the second
// starts on the first's parity; the pixels are those of its triangles as a list.
TEST_P(VertexLanes, UncutStripLongerThanAChunkGivesTheListsPixels) {
    constexpr UINT kStrip = d3d8::kChunk + 61;
    std::vector<Vertex> strip(kStrip + 2);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-1.1f, 1.1f), depth(0.05f, 0.95f);
    for (UINT i = 0; i < strip.size(); ++i) {
        strip[i] = mesh[i % (3 * kTriangles)];
        strip[i].x = pos(rng), strip[i].y = pos(rng), strip[i].z = depth(rng);
    }
    const std::vector<Vertex> list = StripAsList(strip.data(), kStrip);
    IDirect3DVertexBuffer8* const stripBuffer =
        FilledBuffer(strip.data(), static_cast<UINT>(strip.size() * sizeof(Vertex)));
    IDirect3DVertexBuffer8* const listBuffer = FilledBuffer(list.data(), static_cast<UINT>(list.size() * sizeof(Vertex)));
    ASSERT_NE(stripBuffer, nullptr);
    ASSERT_NE(listBuffer, nullptr);
    LitByPoint(device, texture, 0x00203040u, {0.0f, 0.0f, 0.0f, 0.0f});
    // Back faces culled: a triangle given the wrong parity vanishes or appears.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetVertexShader(kFvf);
    const std::vector<std::uint32_t> drawn = Drawn(stripBuffer, D3DPT_TRIANGLESTRIP, kStrip);
    EXPECT_EQ(drawn, Drawn(listBuffer, D3DPT_TRIANGLELIST, kStrip));
    EXPECT_GT(Lit(drawn), 1000) << "the strip should cover most of the frame";
    device->SetTexture(0, nullptr);
}

// A strip whose vertices reach behind the eye and beyond the far plane: drawn in one call
// (runs of whole triangles at once, the cut ones alone) it gives the pixels of the same
// triangles drawn as a list, in the strip's order.
TEST_P(VertexLanes, StripRunsGiveTheListsPixels) {
    constexpr UINT kStrip = 3 * kTriangles - 2;
    const std::vector<Vertex> list = StripAsList(mesh, kStrip);
    IDirect3DVertexBuffer8* const listBuffer =
        FilledBuffer(list.data(), static_cast<UINT>(list.size() * sizeof(Vertex)));
    ASSERT_NE(listBuffer, nullptr);

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetVertexShader(kFvf);
    const std::vector<std::uint32_t> strip = Drawn(buffer, D3DPT_TRIANGLESTRIP, kStrip);
    EXPECT_EQ(strip, Drawn(listBuffer, D3DPT_TRIANGLELIST, kStrip));
    // Flat shading shows which vertex each triangle takes first.
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    EXPECT_EQ(Drawn(buffer, D3DPT_TRIANGLESTRIP, kStrip), Drawn(listBuffer, D3DPT_TRIANGLELIST, kStrip)) << "flat";
    EXPECT_GT(Lit(strip), 300) << "the strip should cover much of the frame";
}


// Every run length from one vertex to fifty, from two starting points, against the same
// vertices one at a time, to the bit (any NaN matching any NaN): the lanes' last group,
// taken again with vertices before it, and their clip space must be exactly what one at a
// time gives. Only what drawing reads is compared: the screen vertex of vertices inside
// every plane (its slots past the basic ones with a second stage), and clip space under
// clipSpace or when the run has a vertex outside a plane.
TEST_P(VertexLanes, EveryRunLengthMatchesOneAtATimeToTheBit) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i < 3 * kTriangles; i += 3) {
        Vertex& v = mesh[i];
        switch ((i / 3) % 9) {
        case 0: v.z = nan; break;
        case 1: v.ny = -inf; break;
        case 2: v.z = 0.0f; break;                  // w = 0
        case 3: v.z = 3e-6f; break;                 // w below the smallest divided by
        case 4: v.nx = v.ny = v.nz = 0.0f; break;
        case 5: v.nx = 3e19f, v.ny = -3e19f; break; // its length overflows
        case 6: v.y = 1e30f; break;
        case 7: v.x = -inf; break;
        default: break;
        }
    }
    BYTE* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, mesh, sizeof mesh);
    buffer->Unlock();

    D3DMATRIX projection{}; // w = z, depth z - 0.1: vertices behind the eye, on it and past the far plane
    projection._11 = projection._22 = projection._33 = projection._34 = 1.0f;
    projection._43 = -0.1f;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    const D3DMATRIX world = UnevenWorld();
    device->SetTransform(D3DTS_WORLD, &world);
    D3DMATERIAL8 mat{};
    mat.Diffuse = {0.7f, 0.5f, 0.3f, 0.8f};
    mat.Ambient = {1.0f, 0.6f, 0.2f, 1.0f};
    mat.Emissive = {0.05f, 0.1f, 0.0f, 0.0f};
    mat.Specular = {0.2f, 0.3f, 0.4f, 0.6f};
    device->SetMaterial(&mat);
    device->SetRenderState(D3DRS_AMBIENT, 0x00102030u);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, buffer, sizeof(Vertex));
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d3d8::Device* const d = d3d8::FromInterface(device);
    ASSERT_NE(d, nullptr);

    const struct {
        const char* name;
        float range;        // of the point light
        bool sun, normalise, secondStage;
        DWORD diffuseSource, ambientSource, emissiveSource;
    } cases[] = {
        {"the ring pass's states", 1000.0f, false, false, false, D3DMCS_MATERIAL, D3DMCS_MATERIAL, D3DMCS_COLOR1},
        {"a point light reaching some, normalised", 1.6f, false, true, false, D3DMCS_COLOR1, D3DMCS_MATERIAL,
         D3DMCS_MATERIAL},
        {"two lights, colours from both vertex colours", 2.5f, true, true, false, D3DMCS_COLOR2, D3DMCS_COLOR1,
         D3DMCS_COLOR2},
        {"a second stage reading every slot", 100.0f, true, false, true, D3DMCS_COLOR1, D3DMCS_COLOR2,
         D3DMCS_COLOR1},
    };
    auto same = [](float a, float b) { return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, 4) == 0; };
    constexpr UINT kLongest = 50;
    std::vector<d3d8::ClipVertex> one(kLongest), run(kLongest);
    for (const auto& c : cases) {
        const D3DLIGHT8 point = Light(D3DLIGHT_POINT, c.range), sun = Light(D3DLIGHT_DIRECTIONAL, 0.0f);
        device->SetLight(0, &point);
        device->SetLight(1, &sun);
        device->LightEnable(0, TRUE);
        device->LightEnable(1, c.sun);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, c.normalise);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, c.diffuseSource);
        device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, c.ambientSource);
        device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource);
        device->SetTexture(1, c.secondStage ? texture : nullptr);
        device->SetTextureStageState(1, D3DTSS_COLOROP, c.secondStage ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        const int slots = c.secondStage ? 16 : raster::kBasicAttrs;
        int inside = 0, outside = 0;
        for (UINT first : {0u, 7u}) {
            for (UINT i = 0; i < kLongest; ++i) d->TransformRun(first + i, 1, &one[i], true);
            for (UINT count = 1; count <= kLongest; ++count) {
                for (bool clipSpace : {false, true}) {
                    const bool said = d->TransformRun(first, count, run.data(), clipSpace);
                    bool anyOutside = false;
                    for (UINT i = 0; i < count; ++i) anyOutside |= run[i].outside != 0;
                    ASSERT_EQ(said, anyOutside) << c.name << ", a run of " << count << " from " << first;
                    for (UINT i = 0; i < count; ++i) {
                        const d3d8::ClipVertex &a = one[i], &b = run[i];
                        SCOPED_TRACE(::testing::Message() << c.name << ", vertex " << first + i << " of a run of "
                                                          << count << (clipSpace ? ", clip space" : ""));
                        ASSERT_EQ(a.outside, b.outside);
                        if (a.outside == 0) {
                            ++inside;
                            ASSERT_TRUE(same(a.screen.x, b.screen.x) && same(a.screen.y, b.screen.y))
                                << a.screen.x << ", " << a.screen.y << " against " << b.screen.x << ", " << b.screen.y;
                            for (int k = 0; k < slots; ++k)
                                ASSERT_TRUE(same(a.screen.a[k], b.screen.a[k]))
                                    << "slot " << k << ": " << a.screen.a[k] << " against " << b.screen.a[k];
                        } else {
                            ++outside;
                        }
                        if (clipSpace || anyOutside) {
                            for (int k = 0; k < 16; ++k)
                                ASSERT_TRUE(same(a.c[k], b.c[k]))
                                    << "clip slot " << k << ": " << a.c[k] << " against " << b.c[k];
                        }
                    }
                }
            }
        }
        EXPECT_GT(inside, 1000) << c.name;
        EXPECT_GT(outside, 500) << c.name;
    }
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Widths, VertexLanes, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Sixteen" : "Eight"; });

} // namespace
