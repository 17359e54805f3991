// The information panel: every text of the screen, rebuilt and drawn each frame with the
// interface font, ending with the controls' labels.
#include <cstdarg>
#include <cstdio>

#include "gfxutil/d3dx8.h"
#include "state/app_state.h"
#include "ui/controls.h"
#include "ui/overlay.h"

namespace {

constexpr D3DCOLOR kGreen = 0xFF00FF00;
constexpr D3DCOLOR kCyan = 0xFF00FFFF;
constexpr D3DCOLOR kRed = 0xFFFF0000;
constexpr D3DCOLOR kCredits = 0xFF80FFFF;
constexpr D3DCOLOR kTreeLabel = 0xFF88AA00;
constexpr D3DCOLOR kTreeCurrent = 0xFFFFFFFF;

constexpr const char* kLabelColumn =
    "SEEK PROGRESS:\n"
    "TURNS VECTOR:\n\n"
    "BEST FOUND TURNS:\n"
    "BEST FOUND LENGTH:\n"
    "FOUND AFTER:\n\n"
    "FPS:\n";

constexpr const char* kKeyboardHelp =
    "KEYBOARD:\n\n"
    "ESC - exit program\n\n"
    "1 - (re)start seek\n"
    "2 - jump by 1 seek step\n"
    "3 - jump by 7 seek steps\n"
    "4 - jump to last seek step\n\n"
    "Q - SPIN DISCS";

constexpr const char* kHelpHeadings =
    "\nWHAT IS THIS ?\n\nWHAT ARE THE RULES ?\n\n\n\n\n\nWHAT FOR ?\n\n\n\n\n\n\n";

constexpr const char* kHelpText =
    "\n\nIt's called ZANTRELL (Polish name: VORMIKA).\n\n"
    " You got 4 colored rings. You randomly spin each of them in any direction. After they "
    "stop, your job is to turn rings to any position in which colors fit each other.\n"
    "RULES:\n"
    "- ONE move - means one change of angle (turn) of 45 degrees in any direction,\n"
    "- the GOAL is to get all rings in order with minimal number of moves\n\n"
    "First - this problem is not as simple as it looks to be - just the code training\n"
    "2nd - we had to do THIS project for passing a year on University of Harrowmere\n"
    "3rd - we like coding cool-looking 3D soft\n\n\n\n\n";

constexpr const char* kCreditsText =
    "VORMIKA 1.0\n"
    "a ring puzzle and three seek orders\n"
    "four rings, eight positions, fewest moves";

// The whole value column and caption fit many times over; the scratch holds one number.
constexpr std::size_t kTextSize = 2000;
constexpr std::size_t kScratchSize = 200;

// Appends to a fixed text buffer, cutting rather than overflowing it.
struct TextBuffer {
    char text[kTextSize] = {};
    std::size_t length = 0;

    [[gnu::format(printf, 2, 3)]] void Append(const char* format, ...) {
        if (length >= kTextSize - 1) {
            return;
        }
        va_list args;
        va_start(args, format);
        const int written = std::vsnprintf(text + length, kTextSize - length, format, args);
        va_end(args);
        if (written > 0) {
            length += static_cast<std::size_t>(written);
            if (length > kTextSize - 1) {
                length = kTextSize - 1;
            }
        }
    }
};

void Draw(const char* text, LONG left, LONG top, LONG right, LONG bottom, DWORD format,
          D3DCOLOR colour) {
    RECT rect{left, top, right, bottom};
    app.uiFont->DrawTextA(text, -1, &rect, format, colour);
}

// Turns 5..7 are shown as the equivalent turns -3..-1.
std::int32_t Signed(std::uint32_t turn) {
    return turn <= 4 ? static_cast<std::int32_t>(turn) : static_cast<std::int32_t>(turn) - 8;
}

// The turn of a ring as the main view shows it: none at the start position.
std::int32_t ShownTurn(std::size_t ring) {
    if (app.viewSelection == 1) {
        return 0;
    }
    const TurnList& turns = app.viewSelection == 2 ? app.currentTurns : app.bestTurns;
    return Signed(turns[ring]);
}

void DrawDiagramLabels() {
    char scratch[kScratchSize];
    for (std::size_t ring = 0; ring < 4; ++ring) {
        const std::int32_t turn = ShownTurn(ring);
        std::snprintf(scratch, sizeof scratch, "%i\r\n", turn);
        const auto y = static_cast<LONG>(app.diagramRadius[3 - ring] * 95.0f - 1.0f);
        const D3DCOLOR colour = turn == 0 ? 0xFFFFFF22 : turn < 0 ? 0xFFFF2222 : 0xFF22FF22;
        Draw(scratch, 100, y, 100, 100, DT_CENTER | DT_NOCLIP, colour);
    }
}

void DrawTreeLabels() {
    char scratch[kScratchSize];
    for (std::int32_t row = 1; row <= 4; ++row) {
        const std::uint32_t current = app.currentTurns[static_cast<std::size_t>(4 - row)];
        const LONG y = app.treeOriginY + row * app.treeRowStep;
        for (std::uint32_t column = 0; column < 8; ++column) {
            std::snprintf(scratch, sizeof scratch, "%i", Signed(column));
            const LONG x = app.treeOriginX + static_cast<std::int32_t>(column) * app.treeColumnStep;
            Draw(scratch, x, y, x, y, DT_CENTER | DT_VCENTER | DT_NOCLIP,
                 column == current ? kTreeCurrent : kTreeLabel);
        }
    }
    const auto x = static_cast<LONG>(static_cast<float>(app.treeColumnStep) * 3.5f +
                                     static_cast<float>(app.treeOriginX));
    Draw("TREE", x, app.treeOriginY, x, app.treeOriginY, DT_CENTER | DT_VCENTER | DT_NOCLIP,
         kTreeLabel);
}

void BuildValueColumn(TextBuffer& out) {
    out.Append(" %u / %u\n", static_cast<unsigned>(app.stepCount),
               static_cast<unsigned>(app.stepLimit));
    out.Append(" [%i.%i.%i.%i]\n\n", ShownTurn(3), ShownTurn(2), ShownTurn(1), ShownTurn(0));
    if (app.bestCost > 200) {
        out.Append(" NA\n NA\n NA\n\n");
    } else {
        const TurnList& best = app.bestTurns;
        out.Append(" [%i.%i.%i.%i]\n", Signed(best[3]), Signed(best[2]), Signed(best[1]),
                   Signed(best[0]));
        out.Append(" %u\n", static_cast<unsigned>(app.bestCost));
        out.Append(" %u steps\n\n", app.foundAfter);
    }
    out.Append(" %u\n", app.fps);
}

void DrawStatistics() {
    const Frame& frame = app.infoFrame;
    Draw("STAT\n", frame.left, frame.top + 5, frame.right, frame.bottom, DT_CENTER | DT_NOCLIP,
         kGreen);
    const auto middle = static_cast<LONG>(
        static_cast<float>(frame.right - frame.left) * 0.5f + static_cast<float>(frame.left));
    Draw(kLabelColumn, frame.left, frame.top + 20, middle, frame.bottom, DT_RIGHT | DT_NOCLIP,
         kGreen);
    TextBuffer values;
    BuildValueColumn(values);
    Draw(values.text, middle, frame.top + 20, frame.right, frame.bottom, DT_NOCLIP, kCyan);
}

void DrawCaptions() {
    TextBuffer caption;
    caption.Append("MAIN VIEW\n");
    switch (app.viewSelection) {
    case 1: caption.Append("[ SHOWING START POSITION ]"); break;
    case 2: caption.Append("[ SHOWING CURRENT SEEK POSITION ]"); break;
    case 3: caption.Append("[ SHOWING BEST FOUND POSITION ]"); break;
    default: break;
    }
    const D3DVIEWPORT8& main = app.mainViewport;
    const D3DVIEWPORT8& inset = app.insetViewport;
    const auto mainX = static_cast<LONG>(main.X);
    const auto mainY = static_cast<LONG>(main.Y);
    const auto insetX = static_cast<LONG>(inset.X);
    const auto insetY = static_cast<LONG>(inset.Y);
    const auto insetRight = static_cast<LONG>(inset.X + inset.Width);
    const auto insetBottom = static_cast<LONG>(inset.Y + inset.Height);
    Draw(caption.text, mainX, mainY + 20, static_cast<LONG>(main.Width),
         static_cast<LONG>(main.Height), DT_CENTER | DT_NOCLIP, kGreen);
    Draw("START POSITION", insetX, insetY + 10, insetRight, insetBottom, DT_CENTER | DT_NOCLIP,
         kGreen);
    const Frame& method = app.seekMethodFrame;
    Draw("SEEK METHOD", method.left, method.top + 5, method.right, method.top + method.bottom,
         DT_CENTER | DT_NOCLIP, kGreen);
    const Frame& view = app.viewSelectFrame;
    Draw("MAIN-VIEW SELECTION", view.left, view.top + 5, view.right, view.top + view.bottom,
         DT_CENTER | DT_NOCLIP, kGreen);
}

void DrawHelp() {
    const D3DVIEWPORT8& main = app.mainViewport;
    const D3DVIEWPORT8& inset = app.insetViewport;
    const auto insetRight = static_cast<LONG>(inset.X + inset.Width);
    const auto mainBottom = static_cast<LONG>(main.Y + main.Height);
    Draw(kKeyboardHelp, static_cast<LONG>(inset.X), static_cast<LONG>(inset.Y + inset.Height) + 70,
         insetRight, mainBottom, DT_NOCLIP, kGreen);
    // Headings, help text and credits share one area; the first two start at its top.
    const LONG left = app.seekMethodFrame.left;
    const LONG top = mainBottom + 10;
    const LONG bottom = static_cast<LONG>(app.screenViewport.Height) - 20;
    Draw(kHelpHeadings, left, top, insetRight, bottom, DT_WORDBREAK | DT_NOCLIP, kRed);
    Draw(kHelpText, left, top, insetRight, bottom, DT_WORDBREAK | DT_NOCLIP, kGreen);
    Draw(kCreditsText, left, top, insetRight, bottom, DT_RIGHT | DT_BOTTOM | DT_NOCLIP, kCredits);
}

} // namespace

void DrawInfoPanel() {
    // The controls draw their labels in this pass; without a font nothing is drawn.
    app.textPass = 1;
    if (app.uiFont == nullptr) {
        return;
    }
    app.uiFont->Begin();
    DrawDiagramLabels();
    DrawTreeLabels();
    DrawStatistics();
    DrawCaptions();
    DrawHelp();
    if (app.rootPanel != nullptr) {
        app.rootPanel->Draw();
    }
    app.uiFont->End();
}
