// dinput8 stand-in: one DirectInput object and the system keyboard and mouse, read from the
// host. Objects live in static storage, so creating and polling them never allocates.
#include "platform/dinput8.h"

#include <cstring>

#include "platform/host/host.h"

const GUID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {
constexpr DWORD DIDF_RELAXIS = 2;
} // namespace

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 16, DIDF_RELAXIS, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), 16, DIDF_RELAXIS, sizeof(DIMOUSESTATE), 7,
                                  nullptr};

namespace {

enum class DeviceKind { Keyboard, Mouse };

class Device final : public IDirectInputDevice8A {
public:
    explicit Device(DeviceKind kind) : kind_(kind) {}

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        if (refs_ > 0) {
            --refs_;
        }
        if (refs_ == 0) {
            Clear();
        }
        return refs_;
    }

    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
        if (format == nullptr) {
            return DIERR_INVALIDPARAM;
        }
        if (acquired_) {
            return static_cast<HRESULT>(0x800700AAu); // DIERR_ACQUIRED
        }
        dataSize_ = format->dwDataSize;
        return DI_OK;
    }

    HRESULT SetCooperativeLevel(HWND, DWORD flags) override {
        // Exactly one of exclusive/non-exclusive and one of foreground/background.
        const bool oneMode = ((flags & DISCL_EXCLUSIVE) != 0) != ((flags & DISCL_NONEXCLUSIVE) != 0);
        const bool oneGround = ((flags & DISCL_FOREGROUND) != 0) != ((flags & DISCL_BACKGROUND) != 0);
        return oneMode && oneGround ? DI_OK : DIERR_INVALIDPARAM;
    }

    HRESULT Acquire() override {
        if (dataSize_ == 0) {
            return DIERR_INVALIDPARAM;
        }
        if (acquired_) {
            return DI_NOEFFECT;
        }
        acquired_ = true;
        return DI_OK;
    }

    HRESULT Unacquire() override {
        if (!acquired_) {
            return DI_NOEFFECT;
        }
        acquired_ = false;
        return DI_OK;
    }

    HRESULT GetDeviceState(DWORD size, void* data) override {
        if (data == nullptr || size != dataSize_) {
            return DIERR_INVALIDPARAM;
        }
        if (!acquired_) {
            return DIERR_NOTACQUIRED;
        }
        const bool ok = kind_ == DeviceKind::Keyboard ? ReadKeyboard(data) : ReadMouse(data);
        if (!ok) {
            // As DirectInput does when the device is taken away: the next Acquire takes it back.
            acquired_ = false;
            return DIERR_INPUTLOST;
        }
        return DI_OK;
    }

    // Back to the state before creation.
    void Clear() {
        refs_ = 0;
        dataSize_ = 0;
        acquired_ = false;
    }

private:
    static bool ReadKeyboard(void* data) {
        std::uint8_t keys[256];
        if (!host::Current().ReadKeys(keys)) {
            return false;
        }
        std::memcpy(data, keys, sizeof keys);
        return true;
    }

    static bool ReadMouse(void* data) {
        host::MouseRead read;
        if (!host::Current().ReadMouse(read)) {
            return false;
        }
        DIMOUSESTATE state = {};
        state.lX = read.dx;
        state.lY = read.dy;
        state.lZ = read.wheel;
        for (int i = 0; i < 4; ++i) {
            state.rgbButtons[i] = read.buttons[i] != 0 ? 0x80 : 0;
        }
        std::memcpy(data, &state, sizeof state);
        return true;
    }

    DeviceKind kind_;
    ULONG refs_ = 0;
    DWORD dataSize_ = 0;   // bytes of state per read, 0 until a data format is set
    bool acquired_ = false;
};

Device keyboard(DeviceKind::Keyboard);
Device mouse(DeviceKind::Mouse);

class DirectInput final : public IDirectInput8A {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        if (refs_ > 0) {
            --refs_;
        }
        return refs_;
    }

    HRESULT CreateDevice(REFGUID guid, IDirectInputDevice8A** device, void* outer) override {
        if (device == nullptr) {
            return DIERR_INVALIDPARAM;
        }
        *device = nullptr;
        if (outer != nullptr) {
            return DIERR_NOINTERFACE;
        }
        Device* made = guid == GUID_SysKeyboard ? &keyboard : guid == GUID_SysMouse ? &mouse : nullptr;
        if (made == nullptr) {
            return DIERR_DEVICENOTREG;
        }
        made->AddRef();
        *device = made;
        return DI_OK;
    }

    void Clear() { refs_ = 0; }

private:
    ULONG refs_ = 0;
};

DirectInput directInput;

} // namespace

HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, void** out,
                           void* outer) {
    if (out == nullptr) {
        return DIERR_INVALIDPARAM;
    }
    *out = nullptr;
    if (instance == nullptr) {
        return DIERR_INVALIDPARAM;
    }
    if (version < DIRECTINPUT_VERSION) {
        return DIERR_OLDDIRECTINPUTVERSION;
    }
    if (version > DIRECTINPUT_VERSION) {
        return DIERR_BETADIRECTINPUTVERSION;
    }
    if (!(iid == IID_IDirectInput8A) || outer != nullptr) {
        return DIERR_NOINTERFACE;
    }
    directInput.AddRef();
    *out = &directInput;
    return DI_OK;
}

namespace dinput8ext {

void Reset() {
    directInput.Clear();
    keyboard.Clear();
    mouse.Clear();
}

} // namespace dinput8ext
