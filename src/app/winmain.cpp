// The program's entry point: start-up, the frame loop and shutdown.
#include "app/shell.h"
#include "gfxutil/d3dx8.h"
#include "platform/crt.h"
#include "platform/dinput8.h"
#include "scene/scene.h"
#include "seek/seek_keys.h"
#include "state/app_state.h"
#include "ui/controls.h"
#include "ui/overlay.h"

namespace {

void StartUp(HINSTANCE instance) {
    crt::srand(GetTickCount());
    CreateAppWindow(1024, 768);
    SetUpDevice();
    ShowCursor(FALSE);
    CreateInput(instance);
    SetUpKeyboard(app.windowHandle);
    app.uiFont = MakeFont(7, 400, 0, 0, 0, "Small Fonts");
    InstallDrawCallbacks();
    CreateControlPanel();
    SetUpMouse(app.windowHandle);
    AcquireMouse();
    app.mouseSpeedX = 1.6f;
    app.mouseSpeedY = 1.6f;
    CreateSceneResources();
    CreateOverlayBatch();
    const DWORD now = GetTickCount();
    app.prevFrameTick = now;
    app.frameTick = now;
    app.fpsPeriodStart = now;
}

// Frame time and the frames-per-second count, all modulo 2^32.
void CountFrame() {
    app.prevFrameTick = app.frameTick;
    const DWORD now = GetTickCount();
    app.frameDelta = now - app.prevFrameTick;
    ++app.fpsFrameCount;
    app.frameTick = now;
    if (app.fpsPeriodStart + 1000u < now) {
        app.fps = app.fpsFrameCount;
        app.fpsFrameCount = 0;
        app.fpsPeriodStart = now;
    }
}

void HandleEvents() {
    std::int32_t id = 0;
    std::int32_t code = 0;
    while (app.eventList.TakeEvent(&id, &code) != 0) {
        HandleCommand(id, code);
    }
}

} // namespace

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    StartUp(instance);
    MSG msg = {};
    app.frameDelta = 0;

    while (msg.message != WM_QUIT) {
        CountFrame();
        // At most one message per pass; Escape is tested only when one arrived, and it is
        // read from the key array as the previous pass polled it.
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if ((app.keyState[DIK_ESCAPE] & 0x80) != 0 || msg.message == WM_QUIT) {
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        ProcessSeekKeys();
        HandleEvents();
        RenderFrame();
    }

    // Everything else the program made goes back as well, so that a leak check of a whole
    // run finds nothing left over; the scene's resources and the font go before the device.
    ReleaseSceneResources();
    ReleaseOverlayBatch();
    ReleaseControlPanel();
    if (app.uiFont != nullptr) {
        app.uiFont->Release();
        app.uiFont = nullptr;
    }
    ReleaseDevice();
    app.device = nullptr;
    app.direct3d = nullptr;
    ReleaseInput();
    if (app.windowHandle != nullptr) {
        DestroyWindow(app.windowHandle);
        app.windowHandle = nullptr;
    }
    return 0;
}
