// Benchmark of the d3d8 device: one whole frame like the program's at 1024x768 (clear,
// eight lit and textured ring meshes uploaded and drawn in two viewports, about 900
// blended overlay triangles and lines, text-sized coverage blends, present).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d8.h"
#include "platform/d3d8_ext.h"
#include "platform/host/host.h"

namespace {

class NullHost final : public host::Host {
public:
    bool OpenWindow(int, int, const char*) override { return true; }
    void CloseWindow() override {}
    bool NextEvent(host::Event&) override { return false; }
    bool ReadKeys(std::uint8_t*) override { return true; }
    bool ReadMouse(host::MouseRead&) override { return true; }
    std::uint32_t Ticks() override { return 0; }
    void Present(const std::uint32_t*, int, int) override {}
    void ShowSystemCursor(bool) override {}
};

struct RingVertex { // FVF 0x252
    float x, y, z, nx, ny, nz;
    DWORD colour;
    float u0, v0, u1, v1;
};
struct OverlayVertex { // FVF 0x44
    float x, y, z, rhw;
    DWORD colour;
};

constexpr int kSegments = 64, kSteps = 22, kRingVertices = kSegments * kSteps * 2;

// A ring of 64 strips of 44 vertices around a flattened tube, as the scene builds it.
void BuildRing(int ring, float angle, RingVertex* out) {
    const float radius[4] = {0.15f, 0.4f, 0.65f, 0.9f};
    const DWORD colours[8] = {0xFF880000u, 0xFF880088u, 0xFF008888u, 0xFF008800u,
                              0xFF888800u, 0xFF000088u, 0xFF004400u, 0xFF884400u};
    const float dA = 6.283f / kSegments, dB = 6.283f / 20;
    int n = 0;
    for (int k = 0; k < kSegments; ++k) {
        float phi[2] = {k * dA, (k + 1) * dA};
        DWORD colour = colours[static_cast<int>(1.2732f * phi[1]) & 7];
        for (int j = 0; j < kSteps; ++j) {
            float psi = j * dB, r = radius[ring] + 0.135f * std::cos(psi), h = 0.04f * std::sin(psi);
            for (float p : phi) {
                float c = std::cos(p + angle), s = std::sin(p + angle);
                out[n++] = {c * r, h, -s * r, c * std::cos(psi), h, -s * std::cos(psi), colour,
                            p * 1.273277f, psi * 0.15915963f, p * 0.15915963f, psi * 0.15915963f};
            }
        }
    }
}

D3DMATRIX LookAt(const float eye[3], const float up[3]) {
    float z[3] = {-eye[0], -eye[1], -eye[2]};
    auto normalise = [](float* v) {
        float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int i = 0; i < 3; ++i) v[i] /= l;
    };
    normalise(z);
    float x[3] = {up[1] * z[2] - up[2] * z[1], up[2] * z[0] - up[0] * z[2], up[0] * z[1] - up[1] * z[0]};
    normalise(x);
    float y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    D3DMATRIX m{};
    for (int i = 0; i < 3; ++i) {
        m.m[i][0] = x[i];
        m.m[i][1] = y[i];
        m.m[i][2] = z[i];
    }
    m._41 = -(x[0] * eye[0] + x[1] * eye[1] + x[2] * eye[2]);
    m._42 = -(y[0] * eye[0] + y[1] * eye[1] + y[2] * eye[2]);
    m._43 = -(z[0] * eye[0] + z[1] * eye[1] + z[2] * eye[2]);
    m._44 = 1.0f;
    return m;
}

D3DMATRIX Perspective() {
    D3DMATRIX m{};
    const float yScale = 1.0f / std::tan(0.78539819f / 2), zn = 1.0f, zf = 100.0f;
    m._11 = m._22 = yScale;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

struct Frame {
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    IDirect3DVertexBuffer8* rings = nullptr;
    IDirect3DVertexBuffer8* overlay = nullptr;
    IDirect3DTexture8* texture = nullptr;
    // The four rings' meshes, built once: the benchmark times the device, not the mesh maths.
    std::vector<RingVertex> ringVertices[4];
    std::vector<OverlayVertex> overlayVertices;
    UINT back = 0, lines = 0, front = 0;
    std::uint8_t glyph[10][7];
};

void Upload(IDirect3DVertexBuffer8* buffer, const void* data, std::size_t bytes) {
    BYTE* p = nullptr;
    if (buffer->Lock(0, 0, &p, 0) == D3D_OK) {
        std::memcpy(p, data, bytes);
        buffer->Unlock();
    }
}

void AddQuad(std::vector<OverlayVertex>& v, float x0, float y0, float x1, float y1, DWORD c) {
    v.insert(v.end(), {{x0, y0, 0, 0.5f, c}, {x1, y0, 0, 0.5f, c}, {x0, y1, 0, 0.5f, c},
                       {x1, y0, 0, 0.5f, c}, {x1, y1, 0, 0.5f, c}, {x0, y1, 0, 0.5f, c}});
}

// Overlay groups shaped like the program's: 56 panel triangles, 350 line segments,
// 486 small triangles of boxes, buttons and the cursor.
void BuildOverlay(Frame& f) {
    auto& v = f.overlayVertices;
    for (int i = 0; i < 4; ++i) AddQuad(v, 605, 5 + 105.0f * i, 809, 100 + 105.0f * i, 0x60203040u);
    for (int i = 0; i < 24; ++i) AddQuad(v, 5 + 40.0f * i, 410, 40 + 40.0f * i, 420, 0x80406080u);
    v.resize(168);
    f.back = 168;
    for (int i = 0; i < 350; ++i) {
        float a = i * 0.2094f, cx = 100 + (i / 30) * 40.0f, cy = 600;
        v.push_back({cx + 15 * std::cos(a), cy + 15 * std::sin(a), 0, 0.5f, 0xFFFFFFFFu});
        v.push_back({cx + 15 * std::cos(a + 0.2094f), cy + 15 * std::sin(a + 0.2094f), 0, 0.5f, 0xC0FFFF00u});
    }
    f.lines = 700;
    for (int i = 0; i < 81; ++i) {
        float x = 620 + (i % 9) * 44.0f, y = 450 + (i / 9) * 30.0f;
        AddQuad(v, x, y, x + 40, y + 12, 0xA0808080u);
    }
    f.front = 486;
}

Frame* MakeFrame() {
    static NullHost host;
    host::Install(&host);
    Frame* f = new Frame;
    d3d8ext::CreateScreenDevice(1024, 768, &f->d3d, &f->device);
    f->device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    f->device->CreateVertexBuffer(kRingVertices * sizeof(RingVertex), 0, 0, D3DPOOL_DEFAULT, &f->rings);
    f->device->CreateVertexBuffer(2500 * sizeof(OverlayVertex), 0, 0, D3DPOOL_DEFAULT, &f->overlay);
    f->device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &f->texture);
    D3DLOCKED_RECT r;
    f->texture->LockRect(0, &r, nullptr, 0);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            static_cast<DWORD*>(r.pBits)[y * 256 + x] = (x % 32 < 4 ? 0x88000000u : 0xFF000000u) | (x * 0x010203u);
    f->texture->UnlockRect(0);
    BuildOverlay(*f);
    for (int ring = 0; ring < 4; ++ring) {
        f->ringVertices[ring].resize(kRingVertices);
        BuildRing(ring, 0.785f * ring, f->ringVertices[ring].data());
    }
    for (int i = 0; i < 70; ++i)
        for (int j = 0; j < 7; ++j) f->glyph[i / 7][j] = static_cast<std::uint8_t>((i * 37 + j * 91) & 0xFF);
    return f;
}

void DrawRings(Frame& f, int pass, const D3DVIEWPORT8& vp, float tick) {
    IDirect3DDevice8* d = f.device;
    d->SetViewport(&vp);
    for (int ring = 0; ring < 4; ++ring) {
        Upload(f.rings, f.ringVertices[ring].data(), kRingVertices * sizeof(RingVertex));
        D3DMATERIAL8 mat = {{1, 1, 1, 1}, {1, 1, 1, 1}, {2, 0.4f, 3, 1}, {0, 0, 0, 0}, 5};
        d->SetMaterial(&mat);
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_POINT;
        light.Diffuse = light.Specular = {1, 1, 1, 0};
        light.Position = {5 * std::cos(tick / 900), 0.3f, 5 * std::sin(tick / 900)};
        light.Range = 1000;
        light.Attenuation1 = 0.1f;
        d->SetLight(0, &light);
        d->LightEnable(0, TRUE);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->SetRenderState(D3DRS_LIGHTING, TRUE);
        if (pass != 1) d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
        d->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
        d->SetRenderState(D3DRS_AMBIENT, 0);
        d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        if (pass == 1) d->SetTexture(0, f.texture);
        d->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        d->SetVertexShader(0x252);
        d->SetStreamSource(0, f.rings, sizeof(RingVertex));
        for (int start = 0; start < kRingVertices; start += 2 * kSteps)
            d->DrawPrimitive(D3DPT_TRIANGLESTRIP, start, 2 * kSteps - 2);
        d->SetTexture(0, nullptr);
        d->SetTexture(1, nullptr);
    }
}

void DrawOverlay(Frame& f) {
    IDirect3DDevice8* d = f.device;
    Upload(f.overlay, f.overlayVertices.data(), f.overlayVertices.size() * sizeof(OverlayVertex));
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetVertexShader(0x44);
    d->SetStreamSource(0, f.overlay, sizeof(OverlayVertex));
    for (UINT i = 0; i < f.back; i += 3) d->DrawPrimitive(D3DPT_TRIANGLELIST, i, 1);
    for (UINT i = 0; i < f.lines; i += 2) d->DrawPrimitive(D3DPT_LINELIST, f.back + i, 1);
    for (UINT i = 0; i < f.front; i += 3) d->DrawPrimitive(D3DPT_TRIANGLELIST, f.back + f.lines + i, 1);
    // About 800 glyphs of text.
    for (int i = 0; i < 800; ++i)
        d3d8ext::BlendCoverage(d, 620 + (i % 60) * 6, 20 + (i / 60) * 12, 7, 10, &f.glyph[0][0], 7,
                               0xFFFFFFFFu, nullptr);
}

void RenderFrame(Frame& f, float tick) {
    IDirect3DDevice8* d = f.device;
    const D3DVIEWPORT8 screen = {0, 0, 1024, 768, 0, 1}, main = {0, 0, 600, 400, 0, 1},
                       inset = {814, 0, 209, 139, 0, 1};
    d->SetViewport(&screen);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    d->BeginScene();
    float a = 1.57f + 0.03f * std::cos(tick * 0.00083333335f), b = 1.57f + 0.05f * std::cos(tick * 0.0005f);
    float eye[3] = {std::sin(a + b), 1.75f + std::cos(b), -1.75f}, up[3] = {std::cos(a), std::sin(a), 0};
    D3DMATRIX view = LookAt(eye, up), proj = Perspective();
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &proj);
    DrawRings(f, 1, main, tick);
    DrawRings(f, 2, inset, tick);
    d->SetViewport(&screen);
    DrawOverlay(f);
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
}

void BM_DeviceFrame(benchmark::State& state) {
    Frame* f = MakeFrame();
    float tick = 0;
    for (auto _ : state) {
        RenderFrame(*f, tick);
        tick += 16;
    }
    f->rings->Release();
    f->overlay->Release();
    f->texture->Release();
    f->device->Release();
    f->d3d->Release();
    delete f;
    host::Install(nullptr);
}
BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMillisecond);

} // namespace
