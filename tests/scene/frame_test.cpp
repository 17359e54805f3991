// Frame rendering: the call sequence, the camera and which positions each view shows.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gfxutil/d3dx8.h"
#include "scene_fixture.h"

namespace {

class FrameTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        CreateRingStorage();
        app.discTexture = &texture;
        device.ClearCalls();
    }

    // The position of each drawn ring, from the first vertex of its first strip: the main
    // view's rings, then the inset's.
    std::vector<std::uint32_t> DrawnPositions() const {
        std::vector<std::uint32_t> out;
        const auto draws = device.CallsNamed("DrawPrimitive");
        for (std::size_t i = 0; i < draws.size(); i += 64) {
            const RingVertex v = fake::DrawnVertex<RingVertex>(*draws[i], 0);
            const long p = std::lround(std::atan2(-v.z, v.x) / 0.785);
            out.push_back(static_cast<std::uint32_t>((p + 8) % 8));
        }
        return out;
    }
    fake::Texture texture{&device, 256, 256, D3DFMT_A8R8G8B8};
};

std::vector<double> ViewportArgs(const D3DVIEWPORT8& v) {
    return {double(v.X), double(v.Y), double(v.Width), double(v.Height), v.MinZ, v.MaxZ};
}

TEST_F(FrameTest, FrameIsClearedDrawnInTwoViewsAndPresented) {
    RenderFrame();
    const auto names = device.Names();
    const std::vector<std::string> head = {"SetViewport", "Clear", "Clear", "BeginScene",
                                           "SetTransform", "SetTransform", "SetViewport"};
    ASSERT_GT(names.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + long(head.size())), head);
    EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
              (std::vector<std::string>{"EndScene", "Present"}));

    const auto clears = device.CallsNamed("Clear");
    EXPECT_EQ(clears[0]->args, (std::vector<double>{0, D3DCLEAR_TARGET, 0, 1.0, 0}));
    EXPECT_EQ(clears[1]->args, (std::vector<double>{0, D3DCLEAR_ZBUFFER, 0, 1.0, 0}));

    // Screen, main view with four textured rings, inset with four plain ones, screen again
    // for the overlay.
    const auto viewports = device.CallsNamed("SetViewport");
    ASSERT_GE(viewports.size(), 4u);
    const D3DVIEWPORT8* expected[] = {&app.screenViewport, &app.mainViewport, &app.insetViewport,
                                      &app.screenViewport};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(viewports[i]->args, ViewportArgs(*expected[i]));
    EXPECT_EQ(viewports[2]->ArgU(0), 814u);

    int stage = -1, draws[2] = {0, 0}, textured[2] = {0, 0};
    for (const fake::Call& c : device.calls) {
        if (&c == viewports[1] || &c == viewports[2] || &c == viewports[3]) ++stage;
        if (stage < 0 || stage > 1) continue;
        draws[stage] += c.name == "DrawPrimitive";
        textured[stage] += c.name == "SetTexture" && c.object != nullptr;
    }
    EXPECT_EQ(draws[0], 256);
    EXPECT_EQ(draws[1], 256);
    EXPECT_EQ(textured[0], 4);
    EXPECT_EQ(textured[1], 0);
}

TEST_F(FrameTest, CameraAtTimeZero) {
    clock.now = 0;
    RenderFrame();
    const D3DXVECTOR3 eye = {-0.0783f, 1.7008f, -1.75f};
    const D3DXVECTOR3 at = {0.0f, 0.0f, 0.0f};
    const D3DXVECTOR3 up = {-0.0292f, 0.9996f, 0.0f};
    D3DXMATRIX view = {};
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    const auto transforms = device.CallsNamed("SetTransform");
    ASSERT_EQ(transforms.size(), 2u);
    EXPECT_EQ(transforms[0]->ArgU(0), DWORD(D3DTS_VIEW));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(transforms[0]->matrix.m[r][c], view.m[r][c], 2e-4) << r << "," << c;

    D3DXMATRIX projection = {};
    D3DXMatrixPerspectiveFovLH(&projection, 0.78539819f, 1.0f, 1.0f, 100.0f);
    EXPECT_EQ(transforms[1]->ArgU(0), DWORD(D3DTS_PROJECTION));
    EXPECT_EQ(std::memcmp(&transforms[1]->matrix, &projection, sizeof projection), 0);
}

TEST_F(FrameTest, MainViewFollowsTheSelectionAndTheInsetShowsTheStart) {
    app.startRings = {1, 2, 3, 4};
    app.currentRings = {5, 6, 7, 0};
    app.bestRings = {2, 4, 6, 3};
    const struct {
        std::int32_t selection;
        RingSet main;
    } cases[] = {{1, app.startRings}, {2, app.currentRings}, {3, app.bestRings}};
    for (const auto& c : cases) {
        app.viewSelection = c.selection;
        device.ClearCalls();
        RenderFrame();
        const std::vector<std::uint32_t> expected = {c.main[0], c.main[1], c.main[2], c.main[3],
                                                     1, 2, 3, 4};
        EXPECT_EQ(DrawnPositions(), expected) << "viewSelection " << c.selection;
    }
}

// A position is worth 0.785 radians, not a quarter of pi.
TEST_F(FrameTest, PositionFourIsDrawnAtThreePointOneFour) {
    app.viewSelection = 1;
    app.startRings = {4, 0, 0, 0};
    RenderFrame();
    const RingVertex v = fake::DrawnVertex<RingVertex>(*device.CallsNamed("DrawPrimitive")[0], 0);
    EXPECT_NEAR(v.z, -0.285 * std::sin(3.14), 1e-6);
}

} // namespace
