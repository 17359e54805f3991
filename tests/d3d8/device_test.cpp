// The d3d8 device through its interfaces: creation, states, resources, Clear and Present,
// viewports, clipping, lighting, texture stages, and calls that must fail safely.
#include <cmath>
#include <cstring>

#include "device_fixture.h"

namespace {

struct ScreenVertex { // FVF 0x44, as the overlay draws
    float x, y, z, rhw;
    DWORD colour;
};
struct TexturedScreenVertex { // FVF 0x144
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};
struct LitVertex { // FVF 0x52
    float x, y, z, nx, ny, nz;
    DWORD colour;
};
struct PlainVertex { // FVF 0x42
    float x, y, z;
    DWORD colour;
};

class Device : public DeviceTest {
protected:
    void SetUp() override {
        MakeDevice(64, 64);
        Fill(0);
    }

    template <class T, std::size_t N>
    IDirect3DVertexBuffer8* Buffer(const T (&vertices)[N]) {
        return FilledBuffer(vertices, sizeof vertices);
    }

    template <class T, std::size_t N>
    HRESULT Draw(DWORD fvf, D3DPRIMITIVETYPE type, const T (&vertices)[N], UINT count, UINT start = 0) {
        device->SetVertexShader(fvf);
        device->SetStreamSource(0, Buffer(vertices), sizeof(T));
        return device->DrawPrimitive(type, start, count);
    }

    // A rectangle of screen pixels [x0, x1) x [y0, y1) as a two-triangle list.
    HRESULT Rect(float x0, float y0, float x1, float y1, DWORD colour, float z = 0.0f) {
        const ScreenVertex v[6] = {{x0, y0, z, 1, colour}, {x1, y0, z, 1, colour}, {x0, y1, z, 1, colour},
                                   {x1, y0, z, 1, colour}, {x1, y1, z, 1, colour}, {x0, y1, z, 1, colour}};
        return Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, v, 2);
    }

    IDirect3DTexture8* SolidTexture(UINT w, UINT h, DWORD texel) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) static_cast<DWORD*>(r.pBits)[y * (r.Pitch / 4) + x] = texel;
        t->UnlockRect(0);
        resources.push_back(t);
        return t;
    }

    // The ring pass's texture stage: lit colour where the texel's alpha is 255, the texel
    // where it is 0.
    void RingStage() {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }

    // Within a scene: the quad drawn with a texture of texels 0x88102030, whose texels a
    // lock then makes opaque black; then the quad 20 pixels to the right with a texture of
    // the first texels, which is unbound and released by its last owner. Both quads must
    // come out as drawn with 0x88102030. Returns the first texture, still owned here.
    IDirect3DTexture8* DrawOverALockAndARelease(const TexturedScreenVertex (&quad)[4]) {
        IDirect3DTexture8* t = SolidTexture(4, 4, 0x88102030u);
        device->SetTexture(0, t);
        EXPECT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, quad, 2), D3D_OK);
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (int i = 0; i < 16; ++i) static_cast<DWORD*>(r.pBits)[i] = 0xFF000000u;
        EXPECT_EQ(t->UnlockRect(0), D3D_OK);

        IDirect3DTexture8* own = nullptr;
        EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &own), D3D_OK);
        if (own == nullptr) return t;
        EXPECT_EQ(own->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (int i = 0; i < 16; ++i) static_cast<DWORD*>(r.pBits)[i] = 0x88102030u;
        EXPECT_EQ(own->UnlockRect(0), D3D_OK);
        device->SetTexture(0, own);
        TexturedScreenVertex further[4];
        for (int i = 0; i < 4; ++i) {
            further[i] = quad[i];
            further[i].x += 20;
        }
        EXPECT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, further, 2), D3D_OK);
        device->SetTexture(0, nullptr);
        own->Release();
        return t;
    }
    int Count(std::uint32_t colour) const {
        int n = 0;
        for (int i = 0; i < width_ * height_; ++i) n += pixels[i] == colour;
        return n;
    }
};

// Left-handed perspective with a 90-degree field of view, aspect 1, near 1, far 100.
D3DMATRIX Perspective() {
    D3DMATRIX m{};
    const float zn = 1.0f, zf = 100.0f;
    m._11 = m._22 = 1.0f;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

TEST(Direct3D, CreationChecksVersionWindowAndParameters) {
    EXPECT_EQ(Direct3DCreate8(120), nullptr);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(mode.Height, 768u);
    EXPECT_EQ(mode.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);

    D3DPRESENT_PARAMETERS good{};
    good.BackBufferWidth = 1024;
    good.BackBufferHeight = 768;
    good.BackBufferFormat = D3DFMT_A8R8G8B8;
    good.SwapEffect = D3DSWAPEFFECT_DISCARD;
    good.EnableAutoDepthStencil = TRUE;
    good.AutoDepthStencilFormat = D3DFMT_D16;
    good.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    HWND window = reinterpret_cast<HWND>(&good);
    IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(&good);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x20, &good, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr); // a failed creation leaves no stale pointer
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x20, &good, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x20, nullptr, &device), D3DERR_INVALIDCALL);
    for (auto spoil : {+[](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_R5G6B5; },
                       +[](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; },
                       +[](D3DPRESENT_PARAMETERS& p) { p.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(4); },
                       +[](D3DPRESENT_PARAMETERS& p) { p.BackBufferWidth = 0; }}) {
        D3DPRESENT_PARAMETERS p = good;
        spoil(p);
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x20, &p, &device), D3DERR_INVALIDCALL);
    }
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x20, &good, &device), D3D_OK);
    // The device keeps the Direct3D object alive until both are released.
    EXPECT_EQ(d3d->Release(), 0u + 1);
    EXPECT_EQ(device->Release(), 0u);
}

TEST_F(Device, StartsWithDirect3DsInitialStates) {
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } render[] = {
        {D3DRS_ZENABLE, TRUE}, {D3DRS_ZWRITEENABLE, TRUE}, {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_CULLMODE, D3DCULL_CCW}, {D3DRS_LIGHTING, TRUE}, {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_SPECULARENABLE, FALSE}, {D3DRS_NORMALIZENORMALS, FALSE}, {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE}, {D3DRS_DESTBLEND, D3DBLEND_ZERO}, {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_AMBIENT, 0},
    };
    for (const auto& r : render) {
        DWORD v = 0xDEADBEEF;
        EXPECT_EQ(device->GetRenderState(r.state, &v), D3D_OK);
        EXPECT_EQ(v, r.value) << r.state;
    }
    const struct {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD value;
    } stage[] = {
        {0, D3DTSS_COLOROP, D3DTOP_MODULATE}, {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {1, D3DTSS_COLOROP, D3DTOP_DISABLE}, {7, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
        {0, D3DTSS_COLORARG1, D3DTA_TEXTURE}, {0, D3DTSS_COLORARG2, D3DTA_CURRENT},
        {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE}, {0, D3DTSS_ALPHAARG2, D3DTA_CURRENT},
        {0, D3DTSS_MAGFILTER, D3DTEXF_POINT}, {0, D3DTSS_MINFILTER, D3DTEXF_POINT},
        {0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP}, {0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP},
        {3, D3DTSS_TEXCOORDINDEX, 3},
    };
    for (const auto& s : stage) {
        DWORD v = 0xDEADBEEF;
        EXPECT_EQ(device->GetTextureStageState(s.stage, s.type, &v), D3D_OK);
        EXPECT_EQ(v, s.value) << s.stage << " " << s.type;
    }
    D3DVIEWPORT8 vp{};
    EXPECT_EQ(device->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, 64u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
}

TEST_F(Device, PresentHandsTheBackBufferToTheHost) {
    FrameHost h;
    host::Install(&h);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(h.presents, 1);
    EXPECT_EQ(h.frameWidth, 64);
    EXPECT_EQ(h.frameHeight, 64);
    EXPECT_EQ(h.frame[64 * 64 - 1], 0xFF123456u);
    host::Install(nullptr);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(Device, ClearKeepsToViewportAndRectangles) {
    D3DVIEWPORT8 vp = {8, 4, 16, 8, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00u, 0.25f, 0), D3D_OK);
    EXPECT_EQ(Count(0xFF00FF00u), 16 * 8);
    EXPECT_EQ(At(8, 4), 0xFF00FF00u);
    EXPECT_EQ(At(23, 11), 0xFF00FF00u);
    EXPECT_EQ(At(24, 11), 0u);
    // Rectangles are cut to the viewport too.
    const RECT rects[2] = {{0, 0, 10, 6}, {20, 10, 40, 40}};
    ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Count(0xFFFF0000u), 2 * 2 + 4 * 2);
    // The cleared depth (0.25) holds back a triangle at 0.5 but not one at 0.2.
    EXPECT_EQ(Rect(8, 4, 24, 12, 0xFF0000FFu, 0.5f), D3D_OK);
    EXPECT_EQ(Count(0xFF0000FFu), 0);
    EXPECT_EQ(Rect(8, 4, 24, 12, 0xFF0000FFu, 0.2f), D3D_OK);
    EXPECT_EQ(Count(0xFF0000FFu), 16 * 8);

    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
}

TEST_F(Device, BuffersAndTexturesLockWithinTheirBounds) {
    IDirect3DVertexBuffer8* b = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(100, 0, 0, D3DPOOL_DEFAULT, &b), D3D_OK);
    resources.push_back(b);
    BYTE* data = nullptr;
    EXPECT_EQ(b->Lock(0, 0, &data, 0), D3D_OK); // size 0: the whole buffer
    ASSERT_NE(data, nullptr);
    data[99] = 7;
    EXPECT_EQ(b->Unlock(), D3D_OK);
    EXPECT_EQ(b->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(b->Lock(40, 60, &data, 0), D3D_OK);
    EXPECT_EQ(data[59], 7);
    b->Unlock();
    EXPECT_EQ(b->Lock(100, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(b->Lock(40, 61, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(b->Lock(0xFFFFFFF0u, 0x20, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &b), D3DERR_INVALIDCALL);

    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(256, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    resources.push_back(t);
    D3DLOCKED_RECT r{};
    EXPECT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 1024);
    static_cast<DWORD*>(r.pBits)[128 * 256 - 1] = 1;
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(t->LockRect(1, &r, nullptr, 0), D3DERR_INVALIDCALL);
    const RECT outside = {0, 0, 257, 1};
    EXPECT_EQ(t->LockRect(0, &r, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(64, 64, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
}

TEST_F(Device, BadCallsFailWithoutDrawingOrCrashing) {
    const ScreenVertex tri[3] = {{0, 0, 0, 1, 0xFFFFFFFFu}, {64, 0, 0, 1, 0xFFFFFFFFu}, {0, 64, 0, 1, 0xFFFFFFFFu}};
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no format, no stream
    device->SetVertexShader(0x44);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no stream
    device->SetStreamSource(0, Buffer(tri), sizeof(ScreenVertex));
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL); // past the end
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0xFFFFFFFFu, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(0, Buffer(tri), 12), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // stride < vertex
    EXPECT_EQ(Count(0xFFFFFFFFu), 0);

    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(1000), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(1), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(D3DRS_ZFUNC, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(D3DRS_SRCBLEND, 99), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(99), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, 40), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShader(0x1000000), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_NORMAL), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(17), nullptr), D3DERR_INVALIDCALL);
    D3DVIEWPORT8 vp = {60, 0, 5, 10, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&vp), D3DERR_INVALIDCALL);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_POINT; // no attenuation at all: refused rather than dividing by zero
    EXPECT_EQ(device->SetLight(0, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetLight(8, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    // The states are unchanged by the refused calls: this still draws.
    device->SetStreamSource(0, Buffer(tri), sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_GT(Count(0xFFFFFFFFu), 0);
}

TEST_F(Device, ViewportMapsClipSpaceAndScissors) {
    D3DVIEWPORT8 vp = {10, 20, 40, 30, 0.25f, 0.75f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // Far larger than the viewport: drawn exactly over the viewport's pixels.
    const PlainVertex big[3] = {{-9, -9, 0.5f, 0xFFFF0000u}, {9, -9, 0.5f, 0xFFFF0000u}, {0, 9, 0.5f, 0xFFFF0000u}};
    ASSERT_EQ(Draw(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, big, 1), D3D_OK);
    EXPECT_EQ(Count(0xFFFF0000u), 40 * 30);
    EXPECT_EQ(At(10, 20), 0xFFFF0000u);
    EXPECT_EQ(At(49, 49), 0xFFFF0000u);
    // x = -1 lands on the centre of the viewport's first column, y = 1 on its first row.
    Fill(0);
    const PlainVertex quarter[4] = {{-1, 1, 0.5f, 0xFF00FF00u}, {0, 1, 0.5f, 0xFF00FF00u},
                                    {-1, 0, 0.5f, 0xFF00FF00u}, {0, 0, 0.5f, 0xFF00FF00u}};
    ASSERT_EQ(Draw(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLESTRIP, quarter, 2), D3D_OK);
    EXPECT_EQ(Count(0xFF00FF00u), 20 * 15);
    EXPECT_EQ(At(10, 20), 0xFF00FF00u);
    EXPECT_EQ(At(29, 34), 0xFF00FF00u);
    EXPECT_EQ(At(30, 34), 0u);
    EXPECT_EQ(At(29, 35), 0u);
    // z 0.5 went to depth 0.25 + 0.5 x 0.5 = 0.5: a screen-space triangle at 0.49 passes
    // LESS there, one at 0.51 does not.
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    EXPECT_EQ(Rect(10, 20, 11, 21, 0xFF0000FFu, 0.51f), D3D_OK);
    EXPECT_EQ(At(10, 20), 0xFF00FF00u);
    EXPECT_EQ(Rect(10, 20, 11, 21, 0xFF0000FFu, 0.49f), D3D_OK);
    EXPECT_EQ(At(10, 20), 0xFF0000FFu);
}

TEST_F(Device, NearPlaneCutsTrianglesThatReachBehindTheEye) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DMATRIX proj = Perspective();
    device->SetTransform(D3DTS_PROJECTION, &proj);
    // A and B lie at depth 2, C behind the eye. The edges AC and BC meet the near plane
    // (z = 1) at (-0.75, 0, 1) and (0.75, 0, 1): the visible part spans screen rows 32
    // (the cut) to 47, and nothing may appear above it.
    const PlainVertex crossing[3] = {{-1, -1, 2, 0xFFFFFFFFu}, {1, -1, 2, 0xFFFFFFFFu}, {0, 3, -2, 0xFFFFFFFFu}};
    ASSERT_EQ(Draw(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, crossing, 1), D3D_OK);
    for (int y = 0; y < 64; ++y) {
        int n = 0;
        for (int x = 0; x < 64; ++x) n += At(x, y) != 0;
        if (y < 32 || y >= 48) EXPECT_EQ(n, 0) << "row " << y;
        else EXPECT_GT(n, 30) << "row " << y;
    }
    EXPECT_EQ(At(8, 32), 0xFFFFFFFFu);  // the cut's left end (x -0.75)
    EXPECT_EQ(At(55, 32), 0xFFFFFFFFu); // its right end, just short of x 0.75
    EXPECT_EQ(At(16, 47), 0xFFFFFFFFu); // A's row is the bottom edge: row 48 is not drawn
    // Entirely behind the eye: nothing.
    Fill(0);
    const PlainVertex behind[3] = {{-1, -1, -2, 0xFFFFFFFFu}, {1, -1, -2, 0xFFFFFFFFu}, {0, 1, -0.5f, 0xFFFFFFFFu}};
    ASSERT_EQ(Draw(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, behind, 1), D3D_OK);
    const PlainVertex line[2] = {{0, 0, -1, 0xFFFFFFFFu}, {0, 0, -3, 0xFFFFFFFFu}};
    ASSERT_EQ(Draw(D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPT_LINELIST, line, 1), D3D_OK);
    EXPECT_EQ(Count(0xFFFFFFFFu), 0);
}

TEST_F(Device, StripsKeepTheirWindingForCulling) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    // Clockwise on screen, under the initial CULLMODE CCW: both triangles are front faces.
    const ScreenVertex strip[4] = {{4, 4, 0, 1, 0xFFFFFFFFu}, {20, 4, 0, 1, 0xFFFFFFFFu},
                                   {4, 20, 0, 1, 0xFFFFFFFFu}, {20, 20, 0, 1, 0xFFFFFFFFu}};
    ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPT_TRIANGLESTRIP, strip, 2), D3D_OK);
    EXPECT_EQ(Count(0xFFFFFFFFu), 16 * 16);
    Fill(0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPT_TRIANGLESTRIP, strip, 2), D3D_OK);
    EXPECT_EQ(Count(0xFFFFFFFFu), 0);
    // A fan of the same square.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    const ScreenVertex fan[4] = {{4, 4, 0, 1, 0xFFFFFFFFu}, {20, 4, 0, 1, 0xFFFFFFFFu},
                                 {20, 20, 0, 1, 0xFFFFFFFFu}, {4, 20, 0, 1, 0xFFFFFFFFu}};
    ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPT_TRIANGLEFAN, fan, 2), D3D_OK);
    EXPECT_EQ(Count(0xFFFFFFFFu), 16 * 16);
}

// One vertex lit by one point light, against the sums worked out by hand. Flat shading
// paints the whole triangle in its first vertex's colour; stage 0 is off, so the lit
// colour is the pixel.
TEST_F(Device, LightingFormulaAtOneVertex) {
    const struct {
        const char* name;
        bool normalise;
        float range;
        DWORD emissiveSource;
        std::uint32_t expected;
    } cases[] = {
        // N.L = (0,0,-2).(0.6,0,-0.8) = 1.6, d = 5, atten = 1/(0.5 + 0.5 + 0.5);
        // r = 0.05 + 1 x (32/255 + 0.1 atten) + 128/255 x 0.5 x 1.6 x atten = 130.02/255.
        {"all terms", false, 100.0f, D3DMCS_MATERIAL, 0xFF825222u},
        {"normalised normal halves N.L", true, 100.0f, D3DMCS_MATERIAL, 0xFF604A11u},
        {"beyond the range only emissive and global ambient", false, 4.9f, D3DMCS_MATERIAL, 0xFF2D2D00u},
        {"emissive from the vertex colour", false, 100.0f, D3DMCS_COLOR1, 0xFFF57942u},
    };
    for (const auto& c : cases) {
        Fill(0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
        device->SetRenderState(D3DRS_AMBIENT, 0x00202020u);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, c.normalise);
        device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource);
        D3DMATERIAL8 mat{};
        mat.Diffuse = {0.3f, 0.3f, 0.3f, 0.3f}; // unused: the diffuse source is the vertex
        mat.Ambient = {1.0f, 0.6f, 0.0f, 1.0f};
        mat.Emissive = {0.05f, 0.1f, 0.0f, 0.0f};
        device->SetMaterial(&mat);
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_POINT;
        light.Diffuse = {0.5f, 0.25f, 1.0f, 0.0f};
        light.Ambient = {0.1f, 0.2f, 0.3f, 0.0f};
        light.Position = {2.5f, -0.5f, -3.5f};
        light.Range = c.range;
        light.Attenuation0 = 0.5f;
        light.Attenuation1 = 0.1f;
        light.Attenuation2 = 0.02f;
        ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
        ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
        const LitVertex tri[3] = {{-0.5f, -0.5f, 0.5f, 0, 0, -2, 0xFF804020u},
                                  {0.5f, -0.5f, 0.5f, 0, 0, -2, 0xFF804020u},
                                  {-0.5f, 0.5f, 0.5f, 0, 0, -2, 0xFF804020u}};
        ASSERT_EQ(Draw(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE, D3DPT_TRIANGLELIST, tri, 1), D3D_OK);
        EXPECT_EQ(At(20, 40), c.expected) << c.name;
    }
}

TEST_F(Device, BlendTextureAlphaMixesLitColourAndTexel) {
    RingStage();
    device->SetTexture(0, SolidTexture(4, 4, 0x88102030u));
    const TexturedScreenVertex quad[4] = {{0, 0, 0, 1, 0xFFF0C080u, 0, 0}, {8, 0, 0, 1, 0xFFF0C080u, 1, 0},
                                          {0, 8, 0, 1, 0xFFF0C080u, 0, 1}, {8, 8, 0, 1, 0xFFF0C080u, 1, 1}};
    ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, quad, 2), D3D_OK);
    // Per channel (lit x 0x88 + texel x (255 - 0x88)) / 255: r (240*136 + 16*119)/255 =
    // 135.47 -> 135, g 117.3 -> 117, b 90.7 -> 91; alpha is the texel's.
    EXPECT_EQ(At(3, 3), 0x8887755Bu);
}

// The filtered copy of a texture follows every unlock, a part's as much as the whole's;
// for a small texture and for one whose copy is large enough to go on large pages.
TEST_F(Device, FilteringReadsTheTexelsOfTheLastUnlock) {
    RingStage();
    for (const LONG size : {4, 128}) {
        Fill(0);
        IDirect3DTexture8* t = SolidTexture(size, size, 0x88102030u);
        device->SetTexture(0, t);
        const TexturedScreenVertex quad[4] = {{0, 0, 0, 1, 0xFFF0C080u, 0, 0}, {8, 0, 0, 1, 0xFFF0C080u, 1, 0},
                                              {0, 8, 0, 1, 0xFFF0C080u, 0, 1}, {8, 8, 0, 1, 0xFFF0C080u, 1, 1}};
        ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, quad, 2), D3D_OK);
        EXPECT_EQ(At(3, 3), 0x8887755Bu) << size;
        // Every texel opaque, a row at a time: the lit colour alone.
        for (LONG y = 0; y < size; ++y) {
            const RECT row = {0, y, size, y + 1};
            D3DLOCKED_RECT r;
            ASSERT_EQ(t->LockRect(0, &r, &row, 0), D3D_OK);
            for (LONG x = 0; x < size; ++x) static_cast<DWORD*>(r.pBits)[x] = 0xFF000000u;
            ASSERT_EQ(t->UnlockRect(0), D3D_OK);
        }
        ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, quad, 2), D3D_OK);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) EXPECT_EQ(At(x, y), 0xFFF0C080u) << size << ": " << x << "," << y;
    }
}

// Within a scene, triangles facing away may be drawn late; they must still read the texels
// as they were at their draw, after a lock changes them, and after the texture is unbound
// and released by its last owner.
TEST_F(Device, LateTrianglesReadTheTexelsOfTheirDraw) {
    RingStage();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    // Counter-clockwise on the screen: Direct3D's back faces.
    const TexturedScreenVertex away[4] = {{0, 0, 0, 1, 0xFFF0C080u, 0, 0}, {0, 8, 0, 1, 0xFFF0C080u, 0, 1},
                                          {8, 0, 0, 1, 0xFFF0C080u, 1, 0}, {8, 8, 0, 1, 0xFFF0C080u, 1, 1}};
    DrawOverALockAndARelease(away);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(At(3, 3), 0x8887755Bu);
    EXPECT_EQ(At(23, 3), 0x8887755Bu);
}

// Within a scene, the pixels of a draw may still wait to be shaded when the next call
// comes, whichever way the triangles face: they too must read the texels of their draw,
// and whoever reads the back buffer must find them there.
TEST_F(Device, PendingPixelsReadTheTexelsOfTheirDraw) {
    RingStage();
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    // Clockwise on the screen, under the initial culling of the other way round.
    const TexturedScreenVertex facing[4] = {{0, 0, 0, 1, 0xFFF0C080u, 0, 0}, {8, 0, 0, 1, 0xFFF0C080u, 1, 0},
                                            {0, 8, 0, 1, 0xFFF0C080u, 0, 1}, {8, 8, 0, 1, 0xFFF0C080u, 1, 1}};
    IDirect3DTexture8* const t = DrawOverALockAndARelease(facing);
    // Read through the device in the middle of the scene, as the text drawing reads it.
    std::uint32_t* const back = d3d8ext::BackBuffer(device, nullptr, nullptr);
    ASSERT_EQ(back, pixels);
    EXPECT_EQ(At(3, 3), 0x8887755Bu);
    EXPECT_EQ(At(23, 3), 0x8887755Bu);
    // Two draws of one state over the same pixels in one scene: the later one's colour.
    device->SetTexture(0, t);
    ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, facing, 2), D3D_OK);
    TexturedScreenVertex darker[4];
    for (int i = 0; i < 4; ++i) {
        darker[i] = facing[i];
        darker[i].colour = 0xFF102030u;
    }
    ASSERT_EQ(Draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLESTRIP, darker, 2), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(At(3, 3), 0xFF102030u);
    device->SetTexture(0, nullptr);
}

TEST_F(Device, EmptyStageReadsItsInputAsTheTexture) {
    // Under the initial MODULATE(TEXTURE, CURRENT) an untextured colour meets itself.
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    ASSERT_EQ(Rect(0, 0, 8, 8, 0xFF808080u), D3D_OK);
    EXPECT_EQ(At(1, 1), 0xFF404040u);
    // The ring pass's stage states with no texture bound, and the overlay's blending: the
    // vertex colour comes through unchanged, and so does its alpha.
    RingStage();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    ASSERT_EQ(Rect(0, 0, 8, 8, 0xFFF0C080u), D3D_OK);
    EXPECT_EQ(At(1, 1), 0xFFF0C080u);
    Fill(0xFF000000u);
    ASSERT_EQ(Rect(0, 0, 8, 8, 0x80F0C080u), D3D_OK);
    // Half of the colour over black: 240 x 128 / 255 = 120.47 -> 120 (0x78), 96.4 -> 96, 64.25 -> 64.
    EXPECT_EQ((At(1, 1) & 0x00FFFFFFu), 0x00786040u);
}

} // namespace
