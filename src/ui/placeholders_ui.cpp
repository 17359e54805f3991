// Temporary definitions so that everything links while the overlay is written; each goes
// when its real definition lands.
#include "ui/controls.h"
#include "ui/overlay.h"

Control::Control(Control*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
Control::~Control() {}
void Control::SetLabelNumber(std::int32_t) {}
void Control::SetLabel(const char*) {}
void Control::AddChild(Control*) {}
void Control::Draw() {}
void Control::Notify(std::int32_t) {}
void Control::HandleMouse(std::int32_t, std::int32_t, std::uint32_t) {}
Panel::Panel(Control* p, std::int32_t i, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h)
    : Control(p, i, x, y, w, h) {}
void Panel::HandleMouse(std::int32_t, std::int32_t, std::uint32_t) {}
PushButton::PushButton(Control* p, std::int32_t i, std::int32_t x, std::int32_t y, std::int32_t w,
                       std::int32_t h, const char*)
    : Control(p, i, x, y, w, h) {}
void PushButton::Draw() {}
void PushButton::HandleMouse(std::int32_t, std::int32_t, std::uint32_t) {}
OptionButton::OptionButton(Control* p, std::int32_t i, std::int32_t x, std::int32_t y,
                           std::int32_t w, std::int32_t h, const char*)
    : Control(p, i, x, y, w, h) {}
void OptionButton::Draw() {}
void OptionButton::HandleMouse(std::int32_t, std::int32_t, std::uint32_t) {}
void InstallDrawCallbacks() {}
void DrawPushButton(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    const char*, std::int32_t) {}
void DrawOptionButton(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                      const char*, std::int32_t) {}

void CreateControlPanel() {}
void HandleCommand(std::int32_t, std::int32_t) {}
void DrawOverlay() {}
void DrawInfoPanel() {}
