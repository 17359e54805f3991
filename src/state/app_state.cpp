#include "state/app_state.h"

namespace {

// The layout fields that follow from the screen size, in the order the program derives
// them. They use the static 1024 x 768, not what window creation stores later.
void DeriveLayout(AppState& s) {
    s.screenViewport.Width = s.screenWidth;
    s.screenViewport.Height = s.screenHeight;
    s.insetViewport.X = s.screenWidth - 210;
    s.infoFrame.right = static_cast<std::int32_t>(s.insetViewport.X) - 5;
    s.seekMethodFrame.left = static_cast<std::int32_t>(s.mainViewport.X + s.mainViewport.Width) + 5;
    s.seekMethodFrame.right = static_cast<std::int32_t>(s.insetViewport.X) - 5;
    s.viewSelectFrame.left = s.seekMethodFrame.left;
    s.viewSelectFrame.top = s.seekMethodFrame.bottom + 5;
    s.viewSelectFrame.right = s.seekMethodFrame.right;
    s.viewSelectFrame.bottom = s.seekMethodFrame.bottom + 105;
}

AppState MakeInitialState() {
    AppState s;
    DeriveLayout(s);
    return s;
}

} // namespace

AppState app = MakeInitialState();

void ResetAppState() { app = MakeInitialState(); }
