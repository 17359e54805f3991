// Ring drawing: the circling light, the states of each pass and the strip draws.
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

    // Index of the first call named `name` (with stage `stage` for SetTexture), or -1.
    long IndexOf(const std::string& name, double firstArg = -2.0) const {
        for (std::size_t i = 0; i < device.calls.size(); ++i) {
            const fake::Call& c = device.calls[i];
            if (c.name == name && (firstArg == -2.0 || c.Arg(0) == firstArg)) return long(i);
        }
        return -1;
    }
    bool SetsRenderState(D3DRENDERSTATETYPE state) const {
        for (const fake::Call* c : device.CallsNamed("SetRenderState"))
            if (c->ArgU(0) == state) return true;
        return false;
    }
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
    EXPECT_EQ(device.light0.Type, D3DLIGHT_POINT);
    EXPECT_FLOAT_EQ(device.light0.Attenuation1, 0.1f);
    EXPECT_FLOAT_EQ(device.light0.Range, 1000.0f);
    EXPECT_TRUE(device.light0Enabled);
    EXPECT_FLOAT_EQ(device.material.Specular.b, 3.0f);
    EXPECT_FLOAT_EQ(device.material.Power, 5.0f);
}

TEST_F(RingDrawTest, BothPassesSetTheMaskBlendAndLighting) {
    for (std::int32_t pass : {1, 2, 7}) {
        device.stageStates.clear();
        device.renderStates.clear();
        DrawRingMesh(pass);
        EXPECT_EQ(device.RenderState(D3DRS_LIGHTING), DWORD(TRUE));
        EXPECT_EQ(device.RenderState(D3DRS_ALPHABLENDENABLE), DWORD(FALSE));
        EXPECT_EQ(device.RenderState(D3DRS_EMISSIVEMATERIALSOURCE), DWORD(D3DMCS_COLOR1));
        EXPECT_EQ(device.RenderState(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
        EXPECT_EQ(device.RenderState(D3DRS_ZWRITEENABLE), DWORD(TRUE));
        EXPECT_EQ(device.StageState(0, D3DTSS_COLOROP), DWORD(D3DTOP_BLENDTEXTUREALPHA));
        EXPECT_EQ(device.StageState(0, D3DTSS_COLORARG1), D3DTA_DIFFUSE);
        EXPECT_EQ(device.StageState(0, D3DTSS_COLORARG2), D3DTA_TEXTURE);
        EXPECT_EQ(device.StageState(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
        EXPECT_EQ(device.StageState(0, D3DTSS_ALPHAARG1), D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
        EXPECT_EQ(device.StageState(0, D3DTSS_MINFILTER), DWORD(D3DTEXF_LINEAR));
        EXPECT_EQ(device.vertexShader, 0x252u);
        EXPECT_EQ(device.stream0, app.ringVertexBuffer);
        EXPECT_EQ(device.stream0Stride, 44u);
        EXPECT_EQ(device.BoundTexture(0), nullptr);
        EXPECT_EQ(device.BoundTexture(1), nullptr);
    }
}

TEST_F(RingDrawTest, MainPassBindsTheDiscTextureBeforeDrawingAndLeavesSpecularAlone) {
    DrawRingMesh(1);
    const auto binds = device.CallsNamed("SetTexture");
    ASSERT_EQ(binds.size(), 3u);
    EXPECT_EQ(binds[0]->object, &texture);
    EXPECT_EQ(binds[0]->ArgU(0), 0u);
    EXPECT_LT(IndexOf("SetTexture"), IndexOf("DrawPrimitive"));
    EXPECT_FALSE(SetsRenderState(D3DRS_SPECULARENABLE));
    // Both stages are emptied after the last draw.
    const long last = long(device.calls.size());
    EXPECT_EQ(device.calls[last - 2].name, "SetTexture");
    EXPECT_EQ(device.calls[last - 2].ArgU(0), 0u);
    EXPECT_EQ(device.calls[last - 1].ArgU(0), 1u);
    EXPECT_EQ(device.calls[last - 3].name, "DrawPrimitive");
}

TEST_F(RingDrawTest, InsetPassBindsNoTextureAndTurnsSpecularOff) {
    device.renderStates[D3DRS_SPECULARENABLE] = TRUE;
    DrawRingMesh(2);
    for (const fake::Call* c : device.CallsNamed("SetTexture")) {
        EXPECT_EQ(c->object, nullptr);
    }
    EXPECT_EQ(device.RenderState(D3DRS_SPECULARENABLE), DWORD(FALSE));
}

TEST_F(RingDrawTest, DrawsSixtyFourStripsOfFortyTwoTriangles) {
    DrawRingMesh(1);
    const auto draws = device.CallsNamed("DrawPrimitive");
    ASSERT_EQ(draws.size(), 64u);
    for (std::size_t i = 0; i < draws.size(); ++i) {
        EXPECT_EQ(draws[i]->ArgU(0), DWORD(D3DPT_TRIANGLESTRIP));
        EXPECT_EQ(draws[i]->ArgU(1), 44u * i);
        EXPECT_EQ(draws[i]->ArgU(2), 42u);
    }
}

// Before any build the strip length is 0; stepping by it would never end.
TEST_F(SceneTest, DrawingBeforeAnyBuildDrawsNothing) {
    CreateRingStorage();
    DrawRingMesh(1);
    EXPECT_EQ(device.Count("DrawPrimitive"), 0u);
    EXPECT_EQ(device.BoundTexture(0), nullptr);
}

TEST_F(SceneTest, MissingBufferOrDeviceDrawsNothing) {
    CreateRingStorage();
    BuildRingMesh(0, 0.0f);
    app.ringVertexBuffer = nullptr;
    DrawRingMesh(1);
    EXPECT_EQ(device.Count("DrawPrimitive"), 0u);
    EXPECT_EQ(device.RenderState(D3DRS_LIGHTING), DWORD(TRUE));
    app.device = nullptr;
    DrawRingMesh(2);
    RenderFrame();
}

} // namespace
