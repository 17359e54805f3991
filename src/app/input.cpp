// Keyboard and mouse through DirectInput, and the program's own cursor built from the
// mouse's relative movement.
#include <cstdint>

#include "app/shell.h"
#include "platform/dinput8.h"
#include "state/app_state.h"

HRESULT CreateInput(HINSTANCE instance) {
    return DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                              reinterpret_cast<void**>(&app.directInput), nullptr);
}

HRESULT SetUpKeyboard(HWND window) {
    if (app.directInput == nullptr) {
        return E_FAIL;
    }
    const HRESULT result = app.directInput->CreateDevice(GUID_SysKeyboard, &app.keyboardDevice, nullptr);
    if (app.keyboardDevice != nullptr) {
        app.keyboardDevice->SetDataFormat(&c_dfDIKeyboard);
        app.keyboardDevice->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    }
    return result;
}

HRESULT SetUpMouse(HWND window) {
    HRESULT result = E_FAIL;
    if (app.directInput != nullptr) {
        result = app.directInput->CreateDevice(GUID_SysMouse, &app.mouseDevice, nullptr);
    }
    if (app.mouseDevice != nullptr) {
        app.mouseDevice->SetDataFormat(&c_dfDIMouse);
        app.mouseDevice->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    }
    BoundCursorToScreen();
    return result;
}

void ReleaseInput() {
    IDirectInputDevice8A* devices[2] = {app.keyboardDevice, app.mouseDevice};
    for (IDirectInputDevice8A* device : devices) {
        if (device != nullptr) {
            device->Unacquire();
            device->Release();
        }
    }
    app.keyboardDevice = nullptr;
    app.mouseDevice = nullptr;
    if (app.directInput != nullptr) {
        app.directInput->Release();
        app.directInput = nullptr;
    }
}

HRESULT AcquireKeyboard() {
    return app.keyboardDevice != nullptr ? app.keyboardDevice->Acquire() : E_FAIL;
}

HRESULT AcquireMouse() { return app.mouseDevice != nullptr ? app.mouseDevice->Acquire() : E_FAIL; }

HRESULT PollKeyboard() {
    AcquireKeyboard();
    if (app.keyboardDevice == nullptr) {
        return E_FAIL;
    }
    // A failed read leaves the previous key array, which the callers accept.
    return app.keyboardDevice->GetDeviceState(sizeof app.keyState, app.keyState);
}

void PollMouse() {
    AcquireMouse();
    DIMOUSESTATE state = {};
    if (app.mouseDevice == nullptr ||
        FAILED(app.mouseDevice->GetDeviceState(sizeof state, &state))) {
        // Nothing trustworthy was read: no movement and no buttons.
        state = DIMOUSESTATE{};
    }
    // Formed in double and stored as float, so the fractions carry from frame to frame.
    app.mouseX = static_cast<float>(static_cast<double>(app.mouseX) +
                                    static_cast<double>(state.lX) * app.mouseSpeedX);
    app.mouseY = static_cast<float>(static_cast<double>(app.mouseY) +
                                    static_cast<double>(state.lY) * app.mouseSpeedY);
    ClampCursor();
    app.mouseButtons = state.rgbButtons[0] != 0 ? 1u : 0u;
    if (state.rgbButtons[1] != 0) {
        app.mouseButtons += 2;
    }
}

void SetCursorBounds(std::int32_t minX, std::int32_t minY, std::int32_t maxX, std::int32_t maxY) {
    app.mouseMinX = minX;
    app.mouseMinY = minY;
    app.mouseMaxX = maxX;
    app.mouseMaxY = maxY;
    ClampCursor();
}

void BoundCursorToScreen() {
    SetCursorBounds(0, 0, static_cast<std::int32_t>(app.screenWidth) - 1,
                    static_cast<std::int32_t>(app.screenHeight) - 1);
}

void ClampCursor() {
    // The truncated position is kept inside the bounds; the stored one may overshoot a
    // bound by less than a pixel.
    if (GetCursorX() > app.mouseMaxX) {
        app.mouseX = static_cast<float>(app.mouseMaxX);
    }
    if (GetCursorX() < app.mouseMinX) {
        app.mouseX = static_cast<float>(app.mouseMinX);
    }
    if (GetCursorY() > app.mouseMaxY) {
        app.mouseY = static_cast<float>(app.mouseMaxY);
    }
    if (GetCursorY() < app.mouseMinY) {
        app.mouseY = static_cast<float>(app.mouseMinY);
    }
}

namespace {
// Toward zero, saturating where a float lies beyond 32 bits.
std::int32_t Truncate(float value) {
    if (!(value > -2147483648.0f)) {
        return value != value ? 0 : INT32_MIN;
    }
    if (value >= 2147483648.0f) {
        return INT32_MAX;
    }
    return static_cast<std::int32_t>(value);
}
} // namespace

std::int32_t GetCursorX() { return Truncate(app.mouseX); }

std::int32_t GetCursorY() { return Truncate(app.mouseY); }

std::uint32_t GetMouseButtons() { return app.mouseButtons; }
