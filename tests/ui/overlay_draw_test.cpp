// The frame's overlay: group sizes and draw calls with the standard panel, the seek tree's
// colours and the cursor.
#include <vector>

#include "seek/seek.h"
#include "ui_fixture.h"

namespace {

using uitest::UiTest;

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr D3DCOLOR kGreen = 0xFF88AA00;
constexpr D3DCOLOR kRed = 0x66FF0000;
constexpr D3DCOLOR kBlue = 0xFF0088FF;

class OverlayDraw : public UiTest {
protected:
    // Circles take the first 300 vertices of the line group, then 8 root edges.
    static D3DCOLOR RootEdge(std::int32_t i) {
        return app.overlayVertices[app.backVertexCount + 300 + 2 * i].colour;
    }
    // Edge from node j of row upper + 1 to node i of row upper.
    static D3DCOLOR RowEdge(std::int32_t upper, std::int32_t j, std::int32_t i) {
        const std::uint32_t block = static_cast<std::uint32_t>(3 - upper) * 64;
        const std::uint32_t segment = block + static_cast<std::uint32_t>(j * 8 + i);
        const OverlayVertex* v = &app.overlayVertices[app.backVertexCount + 316 + 2 * segment];
        EXPECT_EQ(v[0].colour, v[1].colour);
        return v[0].colour;
    }
    // The fill's top-left colour of node i of row r (rows are drawn 4, 3, 2, 1).
    static D3DCOLOR Node(std::int32_t row, std::int32_t i) {
        const std::uint32_t box = static_cast<std::uint32_t>((4 - row) * 8 + i);
        return app.overlayVertices[app.backVertexCount + app.lineVertexCount + 30 * box].colour;
    }
    static const OverlayVertex* Cursor() {
        return &app.overlayVertices[app.overlayVertexCount - 24];
    }
};

TEST_F(OverlayDraw, StandardFrameGroupsAndDrawCalls) {
    DrawOverlay();
    EXPECT_EQ(app.backVertexCount, 168u);
    EXPECT_EQ(app.lineVertexCount, 700u);
    EXPECT_EQ(app.frontVertexCount, 1458u);
    EXPECT_EQ(app.overlayVertexCount, 2326u);
    EXPECT_EQ(app.textPass, 0);

    device.ClearCalls();
    FlushOverlay();
    std::size_t triangles = 0;
    std::size_t lines = 0;
    for (const fake::Call* draw : device.CallsNamed("DrawPrimitive")) {
        (draw->ArgU(0) == D3DPT_LINELIST ? lines : triangles) += 1;
    }
    EXPECT_EQ(triangles, 56u + 486u);
    EXPECT_EQ(lines, 350u);
    // The upload reached the buffer: the last draw reads the cursor's last triangle.
    const auto draws = device.CallsNamed("DrawPrimitive");
    const auto last = fake::DrawnVertex<OverlayVertex>(*draws.back(), 2);
    EXPECT_EQ(last.colour, app.overlayVertices[2325].colour);
    EXPECT_EQ(last.x, app.overlayVertices[2325].x);
}

TEST_F(OverlayDraw, TreeAfterReset) {
    ResetSeek();
    DrawOverlay();
    for (std::int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(RootEdge(i), i == 0 ? kBlue : kRed) << i;
    }
    for (std::int32_t upper = 1; upper <= 3; ++upper) {
        for (std::int32_t j = 0; j < 8; ++j) {
            for (std::int32_t i = 0; i < 8; ++i) {
                const D3DCOLOR expected = i != 0 ? kRed : j == 0 ? kWhite : kGreen;
                EXPECT_EQ(RowEdge(upper, j, i), expected) << upper << " " << j << " " << i;
            }
        }
    }
    for (std::int32_t row = 1; row <= 4; ++row) {
        for (std::int32_t i = 0; i < 8; ++i) {
            EXPECT_EQ(Node(row, i), i == 0 ? kWhite : kGreen);
        }
    }
}

TEST_F(OverlayDraw, BestPathOverTheCurrentOneIsBlueWithWhiteNodes) {
    app.currentTurns = {2, 7, 4, 1};   // ring 0 first; rows 1..4 take rings 3..0
    app.bestTurns = app.currentTurns;
    app.bestCost = 6;
    DrawOverlay();
    EXPECT_EQ(RootEdge(1), kBlue);
    EXPECT_EQ(RowEdge(1, 4, 1), kBlue);
    EXPECT_EQ(RowEdge(2, 7, 4), kBlue);
    EXPECT_EQ(RowEdge(3, 2, 7), kBlue);
    EXPECT_EQ(RowEdge(3, 3, 7), kGreen);
    EXPECT_EQ(Node(1, 1), kWhite);
    EXPECT_EQ(Node(2, 4), kWhite);
    EXPECT_EQ(Node(3, 7), kWhite);
    EXPECT_EQ(Node(4, 2), kWhite);
    EXPECT_EQ(Node(4, 3), kGreen);

    // Until something is solved only the root edge of the best path is blue.
    app.bestCost = 254;
    DrawOverlay();
    EXPECT_EQ(RootEdge(1), kBlue);
    EXPECT_EQ(RowEdge(1, 4, 1), kWhite);
}

TEST_F(OverlayDraw, EdgesIntoTheCurrentLowerNodeAreGreenButOne) {
    app.currentTurns = {2, 5, 0, 0};
    app.bestTurns = {0, 0, 0, 0};
    DrawOverlay();
    for (std::int32_t j = 0; j < 8; ++j) {
        EXPECT_EQ(RowEdge(3, j, 5), j == 2 ? kWhite : kGreen) << j;
    }
    // Segments start on the lower row: node 2 of row 4 at (183, 750).
    const OverlayVertex* v = &app.overlayVertices[app.backVertexCount + 316 + 2 * (2 * 8 + 5)];
    EXPECT_EQ((std::vector<float>{v[0].x, v[0].y, v[1].x, v[1].y}),
              (std::vector<float>{183, 750, 408, 675}));
}

// The shell keeps the cursor in app.mouseX/Y and the buttons in app.mouseButtons.
TEST_F(OverlayDraw, CursorFadesAtRestAndIsSolidWithAnyButton) {
    app.mouseX = 40.7f;
    app.mouseY = 60.2f;
    for (std::uint32_t buttons : {0u, 1u, 2u}) {
        app.mouseButtons = buttons;
        DrawOverlay();
        const OverlayVertex* cursor = Cursor();
        EXPECT_EQ(cursor[0].x, 40.0f);
        EXPECT_EQ(cursor[0].y, 60.0f);
        for (int i = 0; i < 24; ++i) {
            const bool centre = cursor[i].x == 45.0f && cursor[i].y == 65.0f;
            const D3DCOLOR expected = centre && buttons == 0 ? 0x0088AA00 : 0xFF88AA00;
            EXPECT_EQ(cursor[i].colour, expected) << "buttons " << buttons << " vertex " << i;
        }
    }
}

TEST_F(OverlayDraw, MissingPanelOrBatchIsHarmless) {
    ReleaseControlPanel();
    DrawOverlay();
    EXPECT_EQ(app.frontVertexCount, 1458u - 210u - 54u - 180u);
    ReleaseOverlayBatch();
    DrawOverlay();
    EXPECT_EQ(app.overlayVertexCount, 0u);
}

} // namespace
