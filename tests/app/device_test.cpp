// The graphics device set-up and release, and font creation on it.
#include "shell_fixture.h"

#include "gfxutil/d3dx8.h"

namespace {

using Device = ShellTest;

TEST_F(Device, WithoutAWindowSetUpFailsBeforeMakingDirect3D) {
    EXPECT_EQ(SetUpDevice(), E_FAIL);
    EXPECT_EQ(app.direct3d, nullptr);
    EXPECT_EQ(app.device, nullptr);
    ReleaseDevice(); // with neither object made: nothing to do
}

TEST_F(Device, OnTheWindowItMakesTheDeviceWithCullingAndLightingOff) {
    CreateAppWindow(1024, 768);
    ASSERT_EQ(SetUpDevice(), S_OK);
    ASSERT_NE(app.device, nullptr);
    DWORD cull = 0;
    DWORD lighting = 1;
    app.device->GetRenderState(D3DRS_CULLMODE, &cull);
    app.device->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(lighting, static_cast<DWORD>(FALSE));

    ID3DXFont* font = MakeFont(7, 400, 0, 0, 0, "Small Fonts");
    EXPECT_NE(font, nullptr);
    if (font != nullptr) {
        font->Release();
    }

    // Release keeps the pointers, as shutdown does.
    IDirect3DDevice8* const device = app.device;
    ReleaseDevice();
    EXPECT_EQ(app.device, device);
}

} // namespace
