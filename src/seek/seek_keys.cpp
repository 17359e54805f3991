// The per-frame bridge from the keyboard, the held push buttons and the mouse to the seek
// and the controls. Commands are level-triggered: a key acts in every frame it is down.
#include "seek/seek_keys.h"

#include "app/shell.h"
#include "platform/dinput8.h"
#include "seek/seek.h"
#include "state/app_state.h"
#include "ui/controls.h"

namespace {
bool KeyDown(BYTE dik) { return (app.keyState[dik] & 0x80) != 0; }

// Controls may be missing (before the panel exists, or when one could not be made).
bool Held(const PushButton* button) { return button != nullptr && button->state != 0; }
} // namespace

void ProcessSeekKeys() {
    PollKeyboard();
    if (KeyDown(DIK_1)) {
        ResetSeek();
    }
    if (KeyDown(DIK_2)) {
        StepSeek(1);
    }
    if (KeyDown(DIK_3)) {
        StepSeek(7);
    }
    if (KeyDown(DIK_4)) {
        StepSeek(4095);
    }
    if (KeyDown(DIK_Q)) {
        ResetSeek();
        SpinDiscs();
    }
    // The held state is what the previous frame's mouse handling left.
    if (Held(app.playButton)) {
        StepSeek(1);
    }
    if (Held(app.fastPlayButton)) {
        StepSeek(8);
    }
    PollMouse();
    if (app.rootPanel != nullptr) {
        app.rootPanel->HandleMouse(GetCursorX(), GetCursorY(), GetMouseButtons());
    }
}
