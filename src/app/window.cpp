// The program's window: one bare pop-up the size of the screen, whose destruction ends the
// frame loop.
#include "app/shell.h"
#include "state/app_state.h"

namespace {
// The class name, which is also the window title.
constexpr const char* kClassName = "VORMIKA";
} // namespace

HWND CreateAppWindow(std::uint32_t width, std::uint32_t height) {
    app.screenWidth = width;
    app.screenHeight = height;

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);

    app.windowHandle = CreateWindowExA(0, kClassName, kClassName, WS_POPUP, 0, 0,
                                       static_cast<int>(app.screenWidth),
                                       static_cast<int>(app.screenHeight), nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    return app.windowHandle;
}

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The window going away is what ends the frame loop.
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
