// The batch primitives' vertex orders and colours, the capacity guard, and the flush's states
// and one-draw-per-primitive groups.
#include <vector>

#include "ui_fixture.h"

namespace {

using uitest::UiTest;

struct V {
    float x;
    float y;
    D3DCOLOR colour;
};

class Batch : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        app.overlayVertexCount = 0;
    }
    static void ExpectVertices(std::uint32_t first, const std::vector<V>& expected) {
        ASSERT_GE(app.overlayVertexCount, first + expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const OverlayVertex& v = app.overlayVertices[first + i];
            SCOPED_TRACE(::testing::Message() << "vertex " << first + i);
            EXPECT_FLOAT_EQ(v.x, expected[i].x);
            EXPECT_FLOAT_EQ(v.y, expected[i].y);
            EXPECT_EQ(v.z, 0.0f);
            EXPECT_EQ(v.rhw, 0.5f);
            EXPECT_EQ(v.colour, expected[i].colour);
        }
    }
};

TEST_F(Batch, QuadIsTwoTrianglesTopLeftTopRightBottomLeft) {
    AddQuad(1, 2, 11, 22, 1, 2, 3, 4);
    EXPECT_EQ(app.overlayVertexCount, 6u);
    ExpectVertices(0, {{1, 2, 1}, {11, 2, 2}, {1, 22, 3}, {11, 2, 2}, {11, 22, 4}, {1, 22, 3}});
}

TEST_F(Batch, BevelCornerTakesTheRimColourOnlyInModeOne) {
    constexpr D3DCOLOR in = 0xAA;
    constexpr D3DCOLOR out = 0xBB;
    for (std::int32_t mode : {0, 1, 2, -1}) {
        SCOPED_TRACE(::testing::Message() << "corner mode " << mode);
        app.overlayVertexCount = 0;
        AddBevel(0, 0, 100, 50, 5, in, out, mode);
        EXPECT_EQ(app.overlayVertexCount, 24u);
        const D3DCOLOR k = mode == 1 ? out : in;
        // left, top, right, bottom trapezoids, each p0 p1 p2 p1 p3 p2
        ExpectVertices(0, {{0, 0, out}, {5, 5, in}, {0, 50, out},
                           {5, 5, in}, {5, 45, in}, {0, 50, out}});
        ExpectVertices(6, {{0, 0, out}, {100, 0, out}, {5, 5, in},
                           {100, 0, out}, {95, 5, in}, {5, 5, in}});
        ExpectVertices(12, {{95, 5, in}, {100, 0, out}, {95, 45, k},
                            {100, 0, out}, {100, 50, out}, {95, 45, k}});
        ExpectVertices(18, {{5, 45, in}, {95, 45, k}, {0, 50, out},
                            {95, 45, k}, {100, 50, out}, {0, 50, out}});
    }
}

TEST_F(Batch, IconShapesHaveABlackLowerCorner) {
    constexpr D3DCOLOR c = 0xFF880000;
    constexpr D3DCOLOR k = 0xFF000000;
    AddArrow(50, 20, -7, c);
    AddArrow(50, 20, 7, c);
    AddBar(10, 20, 1, 7, c);
    ExpectVertices(0, {{50, 13, c}, {43, 20, c}, {50, 27, k}, {50, 13, c}, {57, 20, c}, {50, 27, k},
                       {9, 13, c}, {11, 13, c}, {9, 27, c}, {11, 13, c}, {9, 27, c}, {11, 27, k}});
}

TEST_F(Batch, AppendsBeyondCapacityAreDropped) {
    app.overlayCapacity = 4;   // the array itself holds 2500, so nothing is harmed
    app.overlayVertices[4].colour = 0x5E5E5E5E;
    AddQuad(0, 0, 1, 1, 1, 2, 3, 4);
    EXPECT_EQ(app.overlayVertexCount, 4u);
    EXPECT_EQ(app.overlayVertices[3].colour, 2u);
    EXPECT_EQ(app.overlayVertices[4].colour, 0x5E5E5E5Eu);

    OverlayVertex* array = app.overlayVertices;
    app.overlayVertices = nullptr;
    app.overlayVertexCount = 0;
    AddVertex(1, 1, 0, 1);
    EXPECT_EQ(app.overlayVertexCount, 0u);
    app.overlayVertices = array;
}

TEST_F(Batch, FlushSetsBlendingAndDrawsOnePrimitivePerCall) {
    app.backVertexCount = 6;
    app.lineVertexCount = 4;
    app.frontVertexCount = 3;
    FlushOverlay();
    EXPECT_EQ(device.RenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(device.RenderState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(device.RenderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
    EXPECT_EQ(device.RenderState(D3DRS_DESTBLEND), DWORD(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(device.RenderState(D3DRS_ZFUNC), DWORD(D3DCMP_ALWAYS));
    EXPECT_EQ(device.RenderState(D3DRS_ZWRITEENABLE), 0u);
    EXPECT_EQ(device.vertexShader, 0x44u);
    EXPECT_EQ(device.stream0, app.overlayVertexBuffer);
    EXPECT_EQ(device.stream0Stride, 20u);

    const auto draws = device.CallsNamed("DrawPrimitive");
    const double expected[][3] = {{D3DPT_TRIANGLELIST, 0, 1}, {D3DPT_TRIANGLELIST, 3, 1},
                                  {D3DPT_LINELIST, 6, 1},     {D3DPT_LINELIST, 8, 1},
                                  {D3DPT_TRIANGLELIST, 10, 1}};
    ASSERT_EQ(draws.size(), 5u);
    for (std::size_t i = 0; i < draws.size(); ++i) {
        EXPECT_EQ(draws[i]->args, std::vector<double>(expected[i], expected[i] + 3));
    }

    // An empty group draws nothing rather than a stray triangle.
    app.backVertexCount = 0;
    device.ClearCalls();
    FlushOverlay();
    EXPECT_EQ(device.CallsNamed("DrawPrimitive").front()->ArgU(0), DWORD(D3DPT_LINELIST));
}

} // namespace
