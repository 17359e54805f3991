// A clean program state and platform on a headless host of the test's own, for the shell's
// unit tests.
#pragma once

#include <gtest/gtest.h>

#include "app/shell.h"
#include "platform/dinput8.h"
#include "platform/host/headless.h"
#include "platform/win32_ext.h"
#include "state/app_state.h"

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        host::Install(&headless);
    }
    void TearDown() override { Clean(); }

    static void Clean() {
        ResetAppState();
        win32ext::Reset();
        dinput8ext::Reset();
    }

    // The input devices as start-up leaves them, on a window.
    void StartInput() {
        CreateAppWindow(1024, 768);
        CreateInput(GetModuleHandleA(nullptr));
        SetUpKeyboard(app.windowHandle);
        SetUpMouse(app.windowHandle);
        AcquireMouse();
        app.mouseSpeedX = 1.6f;
        app.mouseSpeedY = 1.6f;
    }

    host::HeadlessHost headless;
};
