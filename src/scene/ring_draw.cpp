// Ring drawing: material, the circling point light and the paint-mask blend of stage 0,
// then the ring buffer as one triangle strip per segment.
#include <cmath>

#include "scene/scene.h"
#include "state/app_state.h"

namespace {

constexpr DWORD kRingFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;
static_assert(kRingFvf == 0x252);

// The light circles the axis at radius 5, height 0.3, one radian every 900 ms.
constexpr float kLightRadius = 5.0f;
constexpr float kLightHeight = 0.3f;
constexpr float kLightMsPerRadian = 900.0f;

D3DMATERIAL8 RingMaterial() {
    D3DMATERIAL8 material = {};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Specular = {2.0f, 0.4f, 3.0f, 1.0f};
    material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    material.Power = 5.0f;
    return material;
}

D3DLIGHT8 CirclingLight() {
    const float t = static_cast<float>(GetTickCount());
    const float angle = t / kLightMsPerRadian;
    D3DLIGHT8 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Specular = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
    light.Position = {kLightRadius * std::cos(angle), kLightHeight, kLightRadius * std::sin(angle)};
    light.Direction = {0.0f, 0.0f, 0.0f};
    light.Range = 1000.0f;
    light.Attenuation1 = 0.1f;
    return light;
}

void SetRingStates(IDirect3DDevice8* device, bool mainView) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    if (!mainView) {
        device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    }
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetRenderState(D3DRS_AMBIENT, 0);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
}

// Stage 0 uses the texel alpha as a paint mask: opaque texels show the lit vertex colour,
// transparent ones their own colour.
void SetMaskBlend(IDirect3DDevice8* device) {
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

} // namespace

void DrawRingMesh(std::int32_t pass) {
    IDirect3DDevice8* device = app.device;
    if (device == nullptr) {
        return;
    }
    const bool mainView = pass == 1;
    const D3DMATERIAL8 material = RingMaterial();
    const D3DLIGHT8 light = CirclingLight();
    device->SetMaterial(&material);
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    SetRingStates(device, mainView);
    if (mainView) {
        device->SetTexture(0, app.discTexture);
    }
    SetMaskBlend(device);
    device->SetVertexShader(kRingFvf);
    device->SetStreamSource(0, app.ringVertexBuffer, sizeof(RingVertex));

    // Before the first build there are no strips to draw (a step of 0 would never end), and
    // without a buffer there is nothing to draw from.
    const std::int32_t strip = app.stripVertexCount;
    if (app.ringVertexBuffer != nullptr && strip >= 3) {
        for (std::int32_t start = 0; start < app.ringVertexCount; start += strip) {
            device->DrawPrimitive(D3DPT_TRIANGLESTRIP, static_cast<UINT>(start),
                                  static_cast<UINT>(strip - 2));
        }
    }
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
}
