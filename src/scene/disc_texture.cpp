// The disc texture: one 256 x 256 sector tile painted with GDI at start-up, then copied
// into the device turned by 180 degrees, each texel's alpha taken from the red low nibble.
#include <cstring>

#include "platform/gdi.h"
#include "scene/scene.h"
#include "state/app_state.h"

namespace {

constexpr int kTileSize = 256;
constexpr const char* kLabelText = "VORMIKA";

// COLORREF values (0x00BBGGRR) of the painting tools.
constexpr COLORREF kGroundColour = 0x0000FF;
constexpr COLORREF kStripeColour = 0x00FF00;
constexpr COLORREF kFlankColour = 0x0FF008;
constexpr COLORREF kEdgeRuleColour = 0xFFFF00;
constexpr COLORREF kBandColour = 0xAAAAA1;
constexpr COLORREF kLabelColour = 0xFFFF00;

// The tools that last the whole painting.
struct Tools {
    HPEN groundPen;
    HPEN stripePen;
    HPEN flankPen;
    HBRUSH_GDI groundBrush;
    HBRUSH_GDI bandBrush;
};

// LineTo leaves out its end point, so each line covers exactly one full column or row.
void ColumnLine(HDC dc, int x) {
    MoveToEx(dc, x, 0, nullptr);
    LineTo(dc, x, kTileSize);
}

void RowLine(HDC dc, int y) {
    MoveToEx(dc, 0, y, nullptr);
    LineTo(dc, kTileSize, y);
}

// Draws with a pen made for the occasion; the previous pen goes back before it is deleted,
// since a selected object must not be deleted.
template <typename Lines>
void WithTemporaryPen(HDC dc, COLORREF colour, Lines lines) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ previous = SelectObject(dc, pen);
    lines();
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void PaintStripes(HDC dc, const Tools& tools) {
    SelectObject(dc, tools.stripePen);
    ColumnLine(dc, 0);
    for (int x0 = -1; x0 + 1 < kTileSize; x0 += 32) {
        SelectObject(dc, tools.stripePen);
        ColumnLine(dc, x0 + 1);
        SelectObject(dc, tools.flankPen);
        ColumnLine(dc, x0 + 2);
        ColumnLine(dc, x0);
    }
}

// Dark ramps at both sides of the tile: red levels 0..15 from the left, 1..15 from the right.
void PaintSideEdges(HDC dc) {
    for (int i = 0, j = kTileSize; i <= 15; ++i, --j) {
        WithTemporaryPen(dc, static_cast<COLORREF>(i), [&] {
            ColumnLine(dc, i);
            ColumnLine(dc, j);
        });
    }
    WithTemporaryPen(dc, kEdgeRuleColour, [&] { ColumnLine(dc, 0); });
}

void PaintBand(HDC dc, const Tools& tools) {
    SelectObject(dc, tools.bandBrush);
    SelectObject(dc, tools.groundPen);
    Rectangle(dc, -1, 211, kTileSize + 1, kTileSize);
    // Three grooves across the band, lighter towards their edges.
    for (int i = 0; i <= 8; i += 2) {
        const int h = i / 2;
        const int t = i / 3;
        const BYTE level = static_cast<BYTE>((h + 6) * 16);
        WithTemporaryPen(dc, RGB(level, level, level), [&] {
            RowLine(dc, 241 - h);
            RowLine(dc, 241 + h);
            RowLine(dc, 231 - t);
            RowLine(dc, 231 + t);
            RowLine(dc, 221 - h);
            RowLine(dc, 221 + h);
        });
    }
}

void PaintLabel(HDC dc) {
    const int height = -MulDiv(14, GetDeviceCaps(dc, LOGPIXELSY), 72);
    HFONT font = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH, "Verdana");
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, kLabelColour);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    TextOutA(dc, 128, 212, kLabelText, static_cast<int>(std::strlen(kLabelText)));
    SelectObject(dc, previous);
    DeleteObject(font);
}

void PaintBandRules(HDC dc, const Tools& tools) {
    SelectObject(dc, tools.stripePen);
    RowLine(dc, 211);
    SelectObject(dc, tools.flankPen);
    RowLine(dc, 212);
    RowLine(dc, 210);
    SelectObject(dc, tools.stripePen);
    RowLine(dc, 251);
    SelectObject(dc, tools.flankPen);
    RowLine(dc, 252);
    RowLine(dc, 253);
}

void PaintTile(HDC dc, Tools& tools) {
    tools.groundBrush = CreateSolidBrush(kGroundColour);
    tools.groundPen = CreatePen(PS_SOLID, 1, kGroundColour);
    SelectObject(dc, tools.groundBrush);
    SelectObject(dc, tools.groundPen);
    Rectangle(dc, 0, 0, kTileSize, kTileSize);

    tools.stripePen = CreatePen(PS_SOLID, 1, kStripeColour);
    tools.flankPen = CreatePen(PS_SOLID, 1, kFlankColour);
    PaintStripes(dc, tools);
    PaintSideEdges(dc);

    tools.bandBrush = CreateSolidBrush(kBandColour);
    PaintBand(dc, tools);
    PaintLabel(dc);
    PaintBandRules(dc, tools);
}

// Texture row r holds bitmap row 255 - r read from right to left. The COLORREF bytes stay
// in place; the red low nibble, doubled, becomes the paint-mask alpha.
void CopyTurned(HDC dc, IDirect3DTexture8* texture) {
    const RECT whole = {0, 0, kTileSize, kTileSize};
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(0, &locked, &whole, 0)) || locked.pBits == nullptr) {
        return;
    }
    auto* bits = static_cast<BYTE*>(locked.pBits);
    for (int r = 0; r < kTileSize; ++r) {
        for (int c = 0; c < kTileSize; ++c) {
            const COLORREF p = GetPixel(dc, kTileSize - 1 - c, kTileSize - 1 - r);
            const std::uint32_t texel = (((p & 0x0Fu) * 0x11u) << 24) | p;
            std::memcpy(bits + r * locked.Pitch + 4 * c, &texel, sizeof texel);
        }
    }
    texture->UnlockRect(0);
}

} // namespace

void CreateSceneResources() {
    CreateRingStorage();
    BuildDiscTexture();
}

void ReleaseSceneResources() {
    if (app.discTexture != nullptr) {
        app.discTexture->Release();
        app.discTexture = nullptr;
    }
    if (app.ringVertexBuffer != nullptr) {
        app.ringVertexBuffer->Release();
        app.ringVertexBuffer = nullptr;
    }
    delete[] app.ringVertices;
    app.ringVertices = nullptr;
    app.stripVertexCount = 0;
}

void BuildDiscTexture() {
    if (app.device == nullptr) {
        return;
    }
    app.device->CreateTexture(kTileSize, kTileSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                              &app.discTexture);
    if (app.discTexture == nullptr) {
        return;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(kTileSize, kTileSize, 1, 32, nullptr);
    SelectObject(dc, bitmap);

    Tools tools = {};
    PaintTile(dc, tools);
    CopyTurned(dc, app.discTexture);

    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(tools.groundPen);
    DeleteObject(tools.stripePen);
    DeleteObject(tools.flankPen);
    DeleteObject(tools.groundBrush);
    DeleteObject(tools.bandBrush);
}
