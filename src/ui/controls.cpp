// The controls: hit-testing with press edges, hover and click events, held push buttons,
// toggling option buttons, and their two-pass drawing through the installed callbacks.
#include "ui/controls.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "gfxutil/d3dx8.h"
#include "state/app_state.h"
#include "ui/overlay.h"

namespace {

constexpr std::uint32_t kPrimaryPressed = 0x100;
constexpr D3DCOLOR kIconColour = 0xFF880000;

char* CopyText(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[length];
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
    }
    return copy;
}

// The icons tell the label-less seek buttons apart: arrows for stepping, a bar for an end.
void AddButtonIcon(std::int32_t id, std::int32_t cx, std::int32_t cy) {
    switch (id) {
    case 102:
        AddArrow(cx + 7, cy, -7, kIconColour);
        AddArrow(cx, cy, -7, kIconColour);
        AddBar(cx - 7, cy, 1, 7, kIconColour);
        break;
    case 103:
        AddArrow(cx, cy, 7, kIconColour);
        break;
    case 104:
        AddArrow(cx, cy, 7, kIconColour);
        AddBar(cx + 7, cy, 1, 7, kIconColour);
        break;
    case 105:
        AddArrow(cx - 7, cy, 7, kIconColour);
        AddArrow(cx, cy, 7, kIconColour);
        break;
    case 106:
        AddArrow(cx - 7, cy, 7, kIconColour);
        AddArrow(cx, cy, 7, kIconColour);
        AddBar(cx + 7, cy, 1, 7, kIconColour);
        break;
    case 107:
        AddBar(cx + 7, cy, 1, 7, kIconColour);
        AddArrow(cx - 7, cy, 7, kIconColour);
        AddArrow(cx, cy, 7, kIconColour);
        break;
    default:
        break;
    }
}

void DrawLabel(const char* label, RECT rect, DWORD format, D3DCOLOR colour) {
    if (app.uiFont == nullptr || label == nullptr) {
        return;
    }
    app.uiFont->DrawTextA(label, -1, &rect, format, colour);
}

} // namespace

// --- Control ---------------------------------------------------------------------------

Control::Control(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y,
                 std::int32_t width, std::int32_t height)
    : parent(parent) {
    if (parent != nullptr) {
        parent->AddChild(this);
    }
    this->id = id;
    this->x = x;
    this->y = y;
    this->width = width;
    this->height = height;
    hover = 0;
    label = nullptr;
}

Control::~Control() { delete[] label; }

void Control::SetLabelNumber(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetLabel(text);
}

void Control::SetLabel(const char* text) {
    delete[] label;
    label = CopyText(text);
}

void Control::AddChild(Control* child) { children.push_back(child); }

void Control::Draw() {
    for (Control* child : children) {
        child->Draw();
    }
}

void Control::Notify(std::int32_t) {}

void Control::HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) {
    for (Control* child : children) {
        child->HandleMouse(x, y, buttons);
    }
    hover = 0;
    // Both edges count as inside, so a pointer on a shared edge hits both neighbours.
    if (x >= this->x && x <= this->x + width && y >= this->y && y <= this->y + height) {
        hover = 1;
        app.eventList.PushEvent(id, EVENT_HOVER);
        if ((buttons & kPrimaryPressed) != 0) {
            app.eventList.PushEvent(id, EVENT_CLICK);
        }
    }
}

// --- Panel -----------------------------------------------------------------------------

Panel::Panel(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y,
             std::int32_t width, std::int32_t height)
    : Control(parent, id, x, y, width, height) {
    state = 0;
}

void Panel::HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) {
    // A panel remembers the previous buttons, so everything below it sees the press edges
    // in bits 0x100 (primary) and 0x200 (secondary) beside the current button bits.
    const std::uint32_t previous = static_cast<std::uint32_t>(state);
    Control::HandleMouse(x, y, buttons | ((~previous & buttons) << 8));
    state = static_cast<std::int32_t>(buttons);
}

// --- PushButton ------------------------------------------------------------------------

PushButton::PushButton(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y,
                       std::int32_t width, std::int32_t height, const char* text)
    : Control(parent, id, x, y, width, height) {
    label = CopyText(text);
    holdEnabled = 1;
    autoRelease = 1;
    state = 0;
}

void PushButton::Draw() {
    if (app.pushButtonDrawer == nullptr) {
        return;
    }
    app.pushButtonDrawer(id, x, y, width, height, label, state);
    Control::Draw();
}

void PushButton::HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) {
    Control::HandleMouse(x, y, buttons);
    // Held: the primary button stays down (no new press) with the pointer inside. The press
    // frame itself leaves the state alone; leaving the button or letting go releases it.
    if (buttons == 1 && holdEnabled != 0 && hover != 0) {
        state = 1;
    }
    const bool released = buttons == 0 || hover != 1;
    if (released && autoRelease == 1) {
        state = 0;
    }
}

// --- OptionButton ----------------------------------------------------------------------

OptionButton::OptionButton(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y,
                           std::int32_t width, std::int32_t height, const char* text)
    : Control(parent, id, x, y, width, height) {
    SetLabel(text);
    state = 0;
}

void OptionButton::Draw() {
    if (app.optionButtonDrawer == nullptr) {
        return;
    }
    app.optionButtonDrawer(id, x, y, width, height, label, state);
    Control::Draw();
}

void OptionButton::HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) {
    Control::HandleMouse(x, y, buttons);
    // An option flips on its own; the command handling makes each group a radio group.
    if ((buttons & kPrimaryPressed) != 0 && hover == 1) {
        state = ~state & 1;
    }
}

// --- draw callbacks --------------------------------------------------------------------

void InstallDrawCallbacks() {
    app.pushButtonDrawer = DrawPushButton;
    app.optionButtonDrawer = DrawOptionButton;
}

void DrawPushButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, const char* label, std::int32_t state) {
    if (app.textPass == 0) {
        // A held button swaps its light and dark parts, so it looks pressed in.
        const D3DCOLOR light = app.buttonLightColour;
        const D3DCOLOR dark = app.buttonDarkColour;
        const D3DCOLOR face = state == 0 ? light : dark;
        const D3DCOLOR rim = state == 0 ? dark : light;
        AddButtonBox(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x + width),
                     static_cast<float>(y + height), 4.0f, face, rim, face, rim);
        AddButtonIcon(id, x + width / 2, y + height / 2);
    } else if (app.textPass == 1) {
        DrawLabel(label, RECT{x, y, x + width, y + height},
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE, app.buttonTextColour);
    }
}

void DrawOptionButton(std::int32_t, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, const char* label, std::int32_t state) {
    const bool checked = state != 0;
    if (app.textPass == 0) {
        const std::int32_t cy = y + height / 2;
        const D3DCOLOR dark = app.buttonDarkColour;
        const D3DCOLOR mark = checked ? app.optionOnColour : app.optionOffColour;
        const D3DCOLOR inner = checked ? dark : mark;
        const D3DCOLOR outer = checked ? mark : dark;
        AddButtonBox(static_cast<float>(x), static_cast<float>(cy - 6), static_cast<float>(x + 12),
                     static_cast<float>(cy + 6), 2.0f, inner, outer, inner, outer);
    } else if (app.textPass == 1) {
        DrawLabel(label, RECT{x + 18, y, x + width, y + height},
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE,
                  checked ? app.optionOnColour : app.optionOffColour);
    }
}
