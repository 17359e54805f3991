// The overlay drawing: glow bands, translucent boxes, the ring diagram, the seek tree, the
// controls' shapes and the cursor, built into the batch once per frame and uploaded.
#include <cmath>

#include "app/shell.h"
#include "scene/scene.h"
#include "state/app_state.h"
#include "ui/controls.h"
#include "ui/overlay.h"

namespace {

constexpr D3DCOLOR kGlowOpaque = 0xFF88AA00;
constexpr D3DCOLOR kGlowClear = 0x0088AA00;
constexpr D3DCOLOR kBoxRim = 0xFF00FF00;
constexpr D3DCOLOR kBoxFill = 0x3300FF00;
constexpr D3DCOLOR kCircleColour = 0xAAAAFFAA;
constexpr D3DCOLOR kBlack = 0xFF000000;

struct Point {
    float x;
    float y;
};

void AddSegment(Point a, Point b, D3DCOLOR colour) {
    AddVertex(a.x, a.y, 0.0f, colour);
    AddVertex(b.x, b.y, 0.0f, colour);
}

void AddGlowBand(const D3DVIEWPORT8& view) {
    AddBevel(static_cast<float>(view.X), static_cast<float>(view.Y),
             static_cast<float>(view.X + view.Width), static_cast<float>(view.Y + view.Height),
             20.0f, kGlowClear, kGlowOpaque, 0);
}

void AddTranslucentBox(float left, float top, float right, float bottom) {
    AddPanelBox(left, top, right, bottom, 1.0f, kBoxRim, kBoxRim, kBoxFill, kBoxFill);
}

void AddFrameBox(const Frame& frame) {
    AddTranslucentBox(static_cast<float>(frame.left), static_cast<float>(frame.top),
                      static_cast<float>(frame.right), static_cast<float>(frame.bottom));
}

void AddBackGroup() {
    AddGlowBand(app.mainViewport);
    AddGlowBand(app.insetViewport);
    const auto x = static_cast<float>(app.mainViewport.X);
    const auto y = static_cast<float>(app.mainViewport.Y);
    AddTranslucentBox(x, y, x + 200.0f, y + 200.0f);
    AddFrameBox(app.infoFrame);
    AddFrameBox(app.seekMethodFrame);
    AddFrameBox(app.viewSelectFrame);
}

// The angle is accumulated in single precision; with this step that closes each circle in
// exactly 30 segments.
void AddCircle(float factor) {
    const double radius = factor * 95.0;
    float theta = 0.0f;
    float next = 0.0f;
    do {
        next = static_cast<float>(theta + 0.20943333);
        AddSegment({static_cast<float>(std::cos(theta) * radius + 100.0),
                    static_cast<float>(std::sin(theta) * radius + 100.0)},
                   {static_cast<float>(std::cos(next) * radius + 100.0),
                    static_cast<float>(std::sin(next) * radius + 100.0)},
                   kCircleColour);
        theta = next;
    } while (next <= 6.283f);
}

// Node i of row r (1 top .. 4 bottom); row r stands for ring 4 - r.
Point NodeCentre(std::int32_t row, std::int32_t i) {
    return {static_cast<float>(app.treeOriginX + i * app.treeColumnStep),
            static_cast<float>(app.treeOriginY + row * app.treeRowStep)};
}

Point RootCentre() {
    return {static_cast<float>(app.treeOriginX) + 3.5f * static_cast<float>(app.treeColumnStep),
            static_cast<float>(app.treeOriginY)};
}

std::int32_t Turn(const TurnList& turns, std::int32_t ring) {
    return static_cast<std::int32_t>(turns[static_cast<std::size_t>(ring)]);
}

void AddRootEdges() {
    for (std::int32_t i = 0; i < 8; ++i) {
        D3DCOLOR colour = app.treeEdgeColour;
        if (i == Turn(app.currentTurns, 3)) {
            colour = app.treeCurrentColour;
        }
        // The root edge of the best turn is blue even before anything is solved.
        if (i == Turn(app.bestTurns, 3)) {
            colour = app.treeBestColour;
        }
        AddSegment(RootCentre(), NodeCentre(1, i), colour);
    }
}

// Edge from node j of row upper + 1 to node i of row upper.
D3DCOLOR RowEdgeColour(std::int32_t upper, std::int32_t j, std::int32_t i) {
    D3DCOLOR colour = app.treeEdgeColour;
    if (i == Turn(app.currentTurns, 4 - upper)) {
        colour = j == Turn(app.currentTurns, 3 - upper) ? app.treeCurrentColour
                                                        : app.treeNodeColour;
    }
    if (app.bestCost < 254 && i == Turn(app.bestTurns, 4 - upper) &&
        j == Turn(app.bestTurns, 3 - upper)) {
        colour = app.treeBestColour;
    }
    return colour;
}

void AddRowEdges() {
    for (std::int32_t upper = 3; upper >= 1; --upper) {
        for (std::int32_t j = 0; j < 8; ++j) {
            for (std::int32_t i = 0; i < 8; ++i) {
                AddSegment(NodeCentre(upper + 1, j), NodeCentre(upper, i),
                           RowEdgeColour(upper, j, i));
            }
        }
    }
}

void AddLineGroup() {
    for (float factor : app.diagramRadius) {
        AddCircle(factor);
    }
    AddCircle(app.diagramOuterRadius);
    AddRootEdges();
    AddRowEdges();
}

void AddTreeBoxes() {
    for (std::int32_t row = 4; row >= 1; --row) {
        for (std::int32_t i = 0; i < 8; ++i) {
            const Point c = NodeCentre(row, i);
            const D3DCOLOR colour =
                i == Turn(app.currentTurns, 4 - row) ? app.treeCurrentColour : app.treeNodeColour;
            AddPanelBox(c.x - 15.0f, c.y - 15.0f, c.x + 15.0f, c.y + 15.0f, 7.0f, kBlack, colour,
                        colour, kBlack);
        }
    }
    const Point root = RootCentre();
    AddPanelBox(root.x - 100.0f, root.y - 15.0f, root.x + 100.0f, root.y + 15.0f, 7.0f, kBlack,
                app.treeNodeColour, app.treeNodeColour, kBlack);
}

// The hot spot is the top-left corner; at rest the square fades to a clear centre, and it
// is solid while any button is down.
void AddCursor() {
    const std::uint32_t buttons = GetMouseButtons();
    const auto x = static_cast<float>(GetCursorX());
    const auto y = static_cast<float>(GetCursorY());
    AddBevel(x, y, x + 10.0f, y + 10.0f, 5.0f, buttons != 0 ? kGlowOpaque : kGlowClear,
             kGlowOpaque, 0);
}

void AddFrontGroup() {
    AddTreeBoxes();
    app.textPass = 0;
    if (app.rootPanel != nullptr) {
        app.rootPanel->Draw();
    }
    AddCursor();
}

} // namespace

void DrawOverlay() {
    app.overlayVertexCount = 0;
    AddBackGroup();
    app.backVertexCount = app.overlayVertexCount;
    AddLineGroup();
    app.lineVertexCount = app.overlayVertexCount - app.backVertexCount;
    AddFrontGroup();
    app.frontVertexCount = app.overlayVertexCount - app.lineVertexCount - app.backVertexCount;
    UploadVertices(app.overlayVertexBuffer, app.overlayVertices,
                   app.overlayVertexCount * sizeof(OverlayVertex));
}
