// Pre-transformed vertices four slots at a time against one at a time: the same triangles,
// lines and points, hostile values included, must give the same pixels either way.
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "device_fixture.h"

namespace {

struct Vertex { // FVF XYZRHW | DIFFUSE | SPECULAR | TEX2
    float x, y, z, rhw;
    DWORD diffuse, specular;
    float u0, v0, u1, v1;
};
constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | (2 << 8);
constexpr int kVertices = 90;

class ScreenVertices : public DeviceTest {
protected:
    void SetUp() override {
        MakeDevice(64, 48);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> x(-10.0f, 74.0f), y(-10.0f, 58.0f), t(-2.0f, 3.0f);
        std::uniform_real_distribution<float> w(0.2f, 4.0f);
        Vertex mesh[kVertices];
        for (int i = 0; i < kVertices; ++i) {
            Vertex& v = mesh[i];
            v = {x(rng), y(rng), 0.5f, w(rng), static_cast<DWORD>(rng()), static_cast<DWORD>(rng()),
                 t(rng), t(rng), t(rng), t(rng)};
            // Every rhw the device must count as 1, and coordinates no texture should get.
            switch (i % 11) {
            case 0: v.rhw = 0.0f; break;
            case 1: v.rhw = -2.0f; break;
            case 2: v.rhw = nan; break;
            case 3: v.rhw = inf; break;
            case 4: v.u0 = nan, v.v1 = -inf; break;
            case 5: v.u1 = 1e30f, v.rhw = 1e-30f; break;
            case 6: v.x = 1e9f; break;
            case 7: v.rhw = 1.0f, v.v0 = inf; break;
            default: break;
            }
        }
        buffer = FilledBuffer(mesh, sizeof mesh);
        texture = SteppedTexture(0x80000000u);
        ASSERT_NE(buffer, nullptr);
        ASSERT_NE(texture, nullptr);
    }

    // Every kind of primitive over the vertices, drawn into noise.
    std::vector<std::uint32_t> Frame(bool oneAtATime) {
        d3d8ext::TransformOneAtATime(device, oneAtATime);
        for (int i = 0; i < 64 * 48; ++i) pixels[i] = static_cast<std::uint32_t>(i) * 2654435761u;
        device->SetStreamSource(0, buffer, sizeof(Vertex));
        device->BeginScene();
        for (UINT i = 0; i + 3 <= kVertices; i += 3) device->DrawPrimitive(D3DPT_TRIANGLELIST, i, 1);
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 20);
        device->DrawPrimitive(D3DPT_TRIANGLEFAN, 30, 12);
        device->DrawPrimitive(D3DPT_LINELIST, 0, kVertices / 2);
        device->DrawPrimitive(D3DPT_LINESTRIP, 1, 30);
        device->DrawPrimitive(D3DPT_POINTLIST, 0, kVertices);
        device->EndScene();
        std::vector<std::uint32_t> out(pixels, pixels + 64 * 48);
        d3d8ext::TransformOneAtATime(device, false);
        return out;
    }

    IDirect3DVertexBuffer8* buffer = nullptr;
    IDirect3DTexture8* texture = nullptr;
};

// The overlay's states and format, then every slot read: both stages' coordinates from
// either set, the specular colour added, perspective-correct texturing.
TEST_F(ScreenVertices, SamePixelsAsOneVertexAtATime) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (DWORD fvf : {DWORD{D3DFVF_XYZRHW}, kFvf}) {
        device->SetVertexShader(fvf);
        const std::vector<std::uint32_t> one = Frame(true);
        EXPECT_EQ(one, Frame(false)) << fvf;
    }
    // Textured through both stages, with the specular colour added.
    device->SetVertexShader(kFvf);
    device->SetTexture(0, texture);
    device->SetTexture(1, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    // Stage 1's set 2 is past the vertex's two: it reads coordinates of 0. Each choice of
    // sets, made between draws of one format, shows in the pixels.
    const DWORD sets[][2] = {{0, 1}, {1, 0}, {1, 2}};
    std::vector<std::uint32_t> before;
    for (const auto& index : sets) {
        device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, index[0]);
        device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, index[1]);
        const std::vector<std::uint32_t> one = Frame(true);
        EXPECT_EQ(one, Frame(false)) << "sets " << index[0] << ", " << index[1];
        EXPECT_NE(one, before) << "sets " << index[0] << ", " << index[1];
        before = one;
        int drawn = 0;
        for (int i = 0; i < 64 * 48; ++i) drawn += one[static_cast<std::size_t>(i)] != static_cast<std::uint32_t>(i) * 2654435761u;
        EXPECT_GT(drawn, 1000) << "the primitives should cover much of the frame";
    }
}

} // namespace
