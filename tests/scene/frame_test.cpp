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
    fake::Texture texture{&device, 256, 256, D3DFMT_A8R8G8B8};

    // The position each drawn ring stands in, read from the first vertex of its first strip:
    // main view rings first, then the inset's.
    std::vector<std::uint32_t> DrawnPositions() const {
        std::vector<std::uint32_t> out;
        const auto draws = device.CallsNamed("DrawPrimitive");
        for (std::size_t i = 0; i < draws.size(); i += 64) {
            const RingVertex v = fake::DrawnVertex<RingVertex>(*draws[i], 0);
            const double angle = std::atan2(-v.z, v.x);
            const long p = std::lround(angle / 0.785);
            out.push_back(static_cast<std::uint32_t>((p + 8) % 8));
        }
        return out;
    }
    static bool SameViewport(const fake::Call& c, const D3DVIEWPORT8& v) {
        return c.ArgU(0) == v.X && c.ArgU(1) == v.Y && c.ArgU(2) == v.Width && c.ArgU(3) == v.Height;
    }
};

TEST_F(FrameTest, FrameIsClearedDrawnInTwoViewsAndPresented) {
    RenderFrame();
    const std::vector<std::string> head = {"SetViewport", "Clear", "Clear", "BeginScene",
                                           "SetTransform", "SetTransform", "SetViewport"};
    const auto names = device.Names();
    ASSERT_GT(names.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + long(head.size())), head);
    EXPECT_EQ(names[names.size() - 2], "EndScene");
    EXPECT_EQ(names.back(), "Present");
    EXPECT_EQ(device.Count("BeginScene"), 1u);

    const auto clears = device.CallsNamed("Clear");
    ASSERT_GE(clears.size(), 2u);
    EXPECT_EQ(clears[0]->ArgU(1), D3DCLEAR_TARGET);
    EXPECT_EQ(clears[1]->ArgU(1), D3DCLEAR_ZBUFFER);
    for (const fake::Call* c : {clears[0], clears[1]}) {
        EXPECT_EQ(c->ArgU(0), 0u);
        EXPECT_EQ(c->ArgU(2), 0u);
        EXPECT_EQ(c->Arg(3), 1.0);
    }

    // Viewports: screen, main (4 rings, textured), inset (4 rings, plain), screen for the overlay.
    const auto viewports = device.CallsNamed("SetViewport");
    ASSERT_GE(viewports.size(), 4u);
    EXPECT_TRUE(SameViewport(*viewports[0], app.screenViewport));
    EXPECT_TRUE(SameViewport(*viewports[1], app.mainViewport));
    EXPECT_TRUE(SameViewport(*viewports[2], app.insetViewport));
    EXPECT_TRUE(SameViewport(*viewports[3], app.screenViewport));
    EXPECT_EQ(viewports[2]->ArgU(0), 814u);
    EXPECT_EQ(device.Count("SetMaterial"), 8u);

    // The scene's draws lie between the main viewport and the last screen viewport.
    long mainAt = -1, insetAt = -1, screenAt = -1, textured = 0, plain = 0, sceneDraws = 0;
    for (std::size_t i = 0; i < device.calls.size(); ++i) {
        const fake::Call& c = device.calls[i];
        if (&c == viewports[1]) mainAt = long(i);
        if (&c == viewports[2]) insetAt = long(i);
        if (&c == viewports[3]) screenAt = long(i);
        if (c.name == "DrawPrimitive" && mainAt >= 0 && screenAt < 0) ++sceneDraws;
        if (c.name == "SetTexture" && c.ArgU(0) == 0 && c.object != nullptr) {
            (insetAt < 0 ? textured : plain)++;
        }
    }
    EXPECT_LT(mainAt, insetAt);
    EXPECT_LT(insetAt, screenAt);
    EXPECT_EQ(sceneDraws, 512);
    EXPECT_EQ(textured, 4);
    EXPECT_EQ(plain, 0);
}

TEST_F(FrameTest, CameraAtTimeZero) {
    clock.now = 0;
    RenderFrame();
    const D3DXVECTOR3 eye = {-0.0783f, 1.7008f, -1.75f};
    const D3DXVECTOR3 at = {0.0f, 0.0f, 0.0f};
    const D3DXVECTOR3 up = {-0.0292f, 0.9996f, 0.0f};
    D3DXMATRIX expected = {};
    D3DXMatrixLookAtLH(&expected, &eye, &at, &up);
    const auto transforms = device.CallsNamed("SetTransform");
    ASSERT_EQ(transforms.size(), 2u);
    EXPECT_EQ(transforms[0]->ArgU(0), DWORD(D3DTS_VIEW));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(transforms[0]->matrix.m[r][c], expected.m[r][c], 2e-4) << r << "," << c;

    D3DXMATRIX projection = {};
    D3DXMatrixPerspectiveFovLH(&projection, 0.78539819f, 1.0f, 1.0f, 100.0f);
    EXPECT_EQ(transforms[1]->ArgU(0), DWORD(D3DTS_PROJECTION));
    EXPECT_EQ(std::memcmp(&transforms[1]->matrix, &projection, sizeof projection), 0);
    EXPECT_EQ(device.transforms.count(D3DTS_WORLD), 0u);
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
    EXPECT_NEAR(v.x, 0.285 * std::cos(3.14), 1e-6);
    EXPECT_NEAR(v.z, -0.285 * std::sin(3.14), 1e-6);
    EXPECT_LT(v.z, -4e-4f);
}

} // namespace
