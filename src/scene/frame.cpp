// One frame: clear, the swaying camera, the rings in the main and inset views, the overlay
// on top, present.
#include <cmath>

#include "gfxutil/d3dx8.h"
#include "scene/scene.h"
#include "state/app_state.h"
#include "ui/overlay.h"

namespace {

// One ring position is taken as 0.785 radians.
constexpr float kPositionAngle = 0.785f;

// The camera rolls a little and sways sideways and up and down, each on its own slow period,
// while it keeps looking at the centre from 45 degrees above the rings on the -z side.
void SetCamera(IDirect3DDevice8* device) {
    const float t = static_cast<float>(GetTickCount());
    const float a = 1.57f + 0.03f * std::cos(t * 0.00083333335f);
    const float b = 1.57f + 0.05f * std::cos(t * 0.0005f);
    const D3DXVECTOR3 eye = {std::sin(a + b), 1.75f + std::cos(b), -1.75f};
    const D3DXVECTOR3 at = {0.0f, 0.0f, 0.0f};
    const D3DXVECTOR3 up = {std::cos(a), std::sin(a), 0.0f};
    D3DXMATRIX view = {};
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    device->SetTransform(D3DTS_VIEW, &view);

    D3DXMATRIX projection = {};
    D3DXMatrixPerspectiveFovLH(&projection, 0.78539819f, 1.0f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
}

const RingSet& MainViewRings() {
    switch (app.viewSelection) {
    case 1: return app.startRings;
    case 3: return app.bestRings;
    default: return app.currentRings;
    }
}

// Rings from the innermost out, each built at its position's angle right before its draw.
void DrawRings(const RingSet& rings, std::int32_t pass) {
    for (std::int32_t i = 0; i < 4; ++i) {
        BuildRingMesh(i, static_cast<float>(rings[static_cast<std::size_t>(i)]) * kPositionAngle);
        DrawRingMesh(pass);
    }
}

} // namespace

void RenderFrame() {
    IDirect3DDevice8* device = app.device;
    if (device == nullptr) {
        return;
    }
    device->SetViewport(&app.screenViewport);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device->BeginScene();
    SetCamera(device);

    device->SetViewport(&app.mainViewport);
    DrawRings(MainViewRings(), 1);
    device->SetViewport(&app.insetViewport);
    DrawRings(app.startRings, 2);

    device->SetViewport(&app.screenViewport);
    DrawOverlay();
    FlushOverlay();
    DrawInfoPanel();

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}
