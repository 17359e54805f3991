// Ring drawing: the circling light, the states of each pass and the strip draws.
#include <algorithm>
#include <string>
#include <vector>

#include "scene_fixture.h"

namespace {

class RingDrawTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        CreateRingStorage();
        app.discTexture = &texture;
        BuildRingMesh(0, 0.0f);
        device.ClearCalls();
    }
    fake::Texture texture{&device, 256, 256, D3DFMT_A8R8G8B8};
};

TEST_F(RingDrawTest, LightCirclesFromPlusXTowardsPlusZ) {
    const struct {
        std::uint32_t t;
        float x, z;
    } cases[] = {{0, 5.0f, 0.0f}, {1414, 0.0f, 5.0f}, {2827, -5.0f, 0.0f}};
    for (const auto& c : cases) {
        clock.now = c.t;
        DrawRingMesh(1);
        EXPECT_NEAR(device.light0.Position.x, c.x, 5e-3) << c.t;
        EXPECT_FLOAT_EQ(device.light0.Position.y, 0.3f);
        EXPECT_NEAR(device.light0.Position.z, c.z, 5e-3) << c.t;
    }
    EXPECT_TRUE(device.light0Enabled);
}

// Any pass other than 1 draws as the inset's pass.
TEST_F(RingDrawTest, EveryPassSetsTheMaskBlendAndEndsWithEmptyStages) {
    for (std::int32_t pass : {1, 2, 7}) {
        device.stageStates.clear();
        device.renderStates.clear();
        DrawRingMesh(pass);
        EXPECT_EQ(device.RenderState(D3DRS_LIGHTING), DWORD(TRUE));
        EXPECT_EQ(device.RenderState(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
        EXPECT_EQ(device.RenderState(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
        EXPECT_EQ(device.StageState(0, D3DTSS_COLOROP), DWORD(D3DTOP_BLENDTEXTUREALPHA));
        EXPECT_EQ(device.StageState(0, D3DTSS_COLORARG1), D3DTA_DIFFUSE);
        EXPECT_EQ(device.StageState(0, D3DTSS_COLORARG2), D3DTA_TEXTURE);
        EXPECT_EQ(device.StageState(0, D3DTSS_ALPHAARG1), D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
        EXPECT_EQ(device.vertexShader, 0x252u);
        EXPECT_EQ(device.stream0, app.ringVertexBuffer);
        EXPECT_EQ(device.stream0Stride, 44u);
        EXPECT_EQ(device.BoundTexture(0), nullptr);
        EXPECT_EQ(device.BoundTexture(1), nullptr);
        EXPECT_EQ(device.RenderState(D3DRS_SPECULARENABLE), DWORD(FALSE));
        EXPECT_EQ(device.renderStates.count(D3DRS_SPECULARENABLE), pass == 1 ? 0u : 1u);
    }
}

TEST_F(RingDrawTest, OnlyTheMainPassBindsTheDiscTextureAndOnlyBeforeDrawing) {
    DrawRingMesh(1);
    std::vector<std::string> names = device.Names();
    const auto binds = device.CallsNamed("SetTexture");
    ASSERT_EQ(binds.size(), 3u);
    EXPECT_EQ(binds[0]->object, &texture);
    const auto first = [&](const char* name) {
        return std::find(names.begin(), names.end(), name) - names.begin();
    };
    EXPECT_LT(first("SetTexture"), first("DrawPrimitive"));
    EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
              (std::vector<std::string>{"DrawPrimitive", "SetTexture", "SetTexture"}));

    device.ClearCalls();
    DrawRingMesh(2);
    for (const fake::Call* c : device.CallsNamed("SetTexture")) EXPECT_EQ(c->object, nullptr);
}

TEST_F(RingDrawTest, DrawsSixtyFourStripsOfFortyTwoTriangles) {
    DrawRingMesh(1);
    const auto draws = device.CallsNamed("DrawPrimitive");
    ASSERT_EQ(draws.size(), 64u);
    for (std::size_t i = 0; i < draws.size(); ++i) {
        const std::vector<double> args = {D3DPT_TRIANGLESTRIP, 44.0 * double(i), 42};
        EXPECT_EQ(draws[i]->args, args);
    }
}

// Before any build the strip length is 0, and stepping by it would never end; without a
// buffer there is nothing to draw from; without a device nothing is done.
TEST_F(SceneTest, NothingToDrawFromDrawsNothing) {
    CreateRingStorage();
    DrawRingMesh(1);
    EXPECT_EQ(device.Count("DrawPrimitive"), 0u);
    BuildRingMesh(0, 0.0f);
    app.ringVertexBuffer = nullptr;
    DrawRingMesh(1);
    EXPECT_EQ(device.Count("DrawPrimitive"), 0u);
    app.device = nullptr;
    DrawRingMesh(2);
    RenderFrame();
}

} // namespace
