// dinput8 stand-in: the DirectInput 8 types, constants and interfaces the program uses, with
// DirectInput's own names and values. The devices read the host (host/host.h): the keyboard
// as a 256-byte DIK array, the mouse as relative counts and four button bytes.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using REFGUID = const GUID&;
using REFIID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

extern const GUID IID_IDirectInput8A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;

constexpr DWORD DIRECTINPUT_VERSION = 0x0800;

constexpr HRESULT DI_OK = S_OK;
constexpr HRESULT DI_NOEFFECT = 1; // S_FALSE: already acquired
constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047Eu);
constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = static_cast<HRESULT>(0x80070481u);
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015u);

// Cooperative levels.
constexpr DWORD DISCL_EXCLUSIVE = 0x00000001;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x00000002;
constexpr DWORD DISCL_FOREGROUND = 0x00000004;
constexpr DWORD DISCL_BACKGROUND = 0x00000008;
constexpr DWORD DISCL_NOWINKEY = 0x00000010;

// A data format. Only the size of the device state it describes is looked at here.
struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const void* rgodf;
};
using LPCDIDATAFORMAT = const DIDATAFORMAT*;

extern const DIDATAFORMAT c_dfDIKeyboard; // 256 bytes, one per DIK code
extern const DIDATAFORMAT c_dfDIMouse;    // DIMOUSESTATE, 16 bytes

struct DIMOUSESTATE {
    LONG lX; // relative movement since the previous read, in device counts
    LONG lY;
    LONG lZ; // wheel
    BYTE rgbButtons[4]; // top bit set while the button is down
};
static_assert(sizeof(DIMOUSESTATE) == 16);

class IDirectInputDevice8A {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    // Fills `size` bytes of the device's immediate state; leaves `data` alone on failure.
    virtual HRESULT GetDeviceState(DWORD size, void* data) = 0;

protected:
    virtual ~IDirectInputDevice8A() = default;
};

class IDirectInput8A {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT CreateDevice(REFGUID guid, IDirectInputDevice8A** device, void* outer) = 0;

protected:
    virtual ~IDirectInput8A() = default;
};

HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, void** out,
                           void* outer);

// Every DirectInput key code, name without the DIK_ prefix and value; the aliases that
// DirectInput defines for some keys follow the list.
#define VORMIKA_DIK_CODES(ENTRY)                                                                 \
    ENTRY(ESCAPE, 0x01) ENTRY(1, 0x02) ENTRY(2, 0x03) ENTRY(3, 0x04) ENTRY(4, 0x05)              \
    ENTRY(5, 0x06) ENTRY(6, 0x07) ENTRY(7, 0x08) ENTRY(8, 0x09) ENTRY(9, 0x0A) ENTRY(0, 0x0B)    \
    ENTRY(MINUS, 0x0C) ENTRY(EQUALS, 0x0D) ENTRY(BACK, 0x0E) ENTRY(TAB, 0x0F) ENTRY(Q, 0x10)     \
    ENTRY(W, 0x11) ENTRY(E, 0x12) ENTRY(R, 0x13) ENTRY(T, 0x14) ENTRY(Y, 0x15) ENTRY(U, 0x16)    \
    ENTRY(I, 0x17) ENTRY(O, 0x18) ENTRY(P, 0x19) ENTRY(LBRACKET, 0x1A) ENTRY(RBRACKET, 0x1B)     \
    ENTRY(RETURN, 0x1C) ENTRY(LCONTROL, 0x1D) ENTRY(A, 0x1E) ENTRY(S, 0x1F) ENTRY(D, 0x20)       \
    ENTRY(F, 0x21) ENTRY(G, 0x22) ENTRY(H, 0x23) ENTRY(J, 0x24) ENTRY(K, 0x25) ENTRY(L, 0x26)    \
    ENTRY(SEMICOLON, 0x27) ENTRY(APOSTROPHE, 0x28) ENTRY(GRAVE, 0x29) ENTRY(LSHIFT, 0x2A)        \
    ENTRY(BACKSLASH, 0x2B) ENTRY(Z, 0x2C) ENTRY(X, 0x2D) ENTRY(C, 0x2E) ENTRY(V, 0x2F)           \
    ENTRY(B, 0x30) ENTRY(N, 0x31) ENTRY(M, 0x32) ENTRY(COMMA, 0x33) ENTRY(PERIOD, 0x34)          \
    ENTRY(SLASH, 0x35) ENTRY(RSHIFT, 0x36) ENTRY(MULTIPLY, 0x37) ENTRY(LMENU, 0x38)              \
    ENTRY(SPACE, 0x39) ENTRY(CAPITAL, 0x3A) ENTRY(F1, 0x3B) ENTRY(F2, 0x3C) ENTRY(F3, 0x3D)      \
    ENTRY(F4, 0x3E) ENTRY(F5, 0x3F) ENTRY(F6, 0x40) ENTRY(F7, 0x41) ENTRY(F8, 0x42)              \
    ENTRY(F9, 0x43) ENTRY(F10, 0x44) ENTRY(NUMLOCK, 0x45) ENTRY(SCROLL, 0x46)                    \
    ENTRY(NUMPAD7, 0x47) ENTRY(NUMPAD8, 0x48) ENTRY(NUMPAD9, 0x49) ENTRY(SUBTRACT, 0x4A)         \
    ENTRY(NUMPAD4, 0x4B) ENTRY(NUMPAD5, 0x4C) ENTRY(NUMPAD6, 0x4D) ENTRY(ADD, 0x4E)              \
    ENTRY(NUMPAD1, 0x4F) ENTRY(NUMPAD2, 0x50) ENTRY(NUMPAD3, 0x51) ENTRY(NUMPAD0, 0x52)          \
    ENTRY(DECIMAL, 0x53) ENTRY(OEM_102, 0x56) ENTRY(F11, 0x57) ENTRY(F12, 0x58)                  \
    ENTRY(F13, 0x64) ENTRY(F14, 0x65) ENTRY(F15, 0x66) ENTRY(KANA, 0x70) ENTRY(ABNT_C1, 0x73)    \
    ENTRY(CONVERT, 0x79) ENTRY(NOCONVERT, 0x7B) ENTRY(YEN, 0x7D) ENTRY(ABNT_C2, 0x7E)            \
    ENTRY(NUMPADEQUALS, 0x8D) ENTRY(PREVTRACK, 0x90) ENTRY(AT, 0x91) ENTRY(COLON, 0x92)          \
    ENTRY(UNDERLINE, 0x93) ENTRY(KANJI, 0x94) ENTRY(STOP, 0x95) ENTRY(AX, 0x96)                  \
    ENTRY(UNLABELED, 0x97) ENTRY(NEXTTRACK, 0x99) ENTRY(NUMPADENTER, 0x9C)                       \
    ENTRY(RCONTROL, 0x9D) ENTRY(MUTE, 0xA0) ENTRY(CALCULATOR, 0xA1) ENTRY(PLAYPAUSE, 0xA2)       \
    ENTRY(MEDIASTOP, 0xA4) ENTRY(VOLUMEDOWN, 0xAE) ENTRY(VOLUMEUP, 0xB0) ENTRY(WEBHOME, 0xB2)    \
    ENTRY(NUMPADCOMMA, 0xB3) ENTRY(DIVIDE, 0xB5) ENTRY(SYSRQ, 0xB7) ENTRY(RMENU, 0xB8)           \
    ENTRY(PAUSE, 0xC5) ENTRY(HOME, 0xC7) ENTRY(UP, 0xC8) ENTRY(PRIOR, 0xC9) ENTRY(LEFT, 0xCB)    \
    ENTRY(RIGHT, 0xCD) ENTRY(END, 0xCF) ENTRY(DOWN, 0xD0) ENTRY(NEXT, 0xD1)                      \
    ENTRY(INSERT, 0xD2) ENTRY(DELETE, 0xD3) ENTRY(LWIN, 0xDB) ENTRY(RWIN, 0xDC)                  \
    ENTRY(APPS, 0xDD) ENTRY(POWER, 0xDE) ENTRY(SLEEP, 0xDF) ENTRY(WAKE, 0xE3)                    \
    ENTRY(WEBSEARCH, 0xE5) ENTRY(WEBFAVORITES, 0xE6) ENTRY(WEBREFRESH, 0xE7)                     \
    ENTRY(WEBSTOP, 0xE8) ENTRY(WEBFORWARD, 0xE9) ENTRY(WEBBACK, 0xEA) ENTRY(MYCOMPUTER, 0xEB)    \
    ENTRY(MAIL, 0xEC) ENTRY(MEDIASELECT, 0xED)                                                   \
    ENTRY(BACKSPACE, 0x0E) ENTRY(NUMPADSTAR, 0x37) ENTRY(LALT, 0x38) ENTRY(CAPSLOCK, 0x3A)       \
    ENTRY(NUMPADMINUS, 0x4A) ENTRY(NUMPADPLUS, 0x4E) ENTRY(NUMPADPERIOD, 0x53)                   \
    ENTRY(NUMPADSLASH, 0xB5) ENTRY(RALT, 0xB8) ENTRY(UPARROW, 0xC8) ENTRY(PGUP, 0xC9)            \
    ENTRY(LEFTARROW, 0xCB) ENTRY(RIGHTARROW, 0xCD) ENTRY(DOWNARROW, 0xD0) ENTRY(PGDN, 0xD1)      \
    ENTRY(CIRCUMFLEX, 0x90)

#define VORMIKA_DIK_CONSTANT(name, value) constexpr BYTE DIK_##name = value;
VORMIKA_DIK_CODES(VORMIKA_DIK_CONSTANT)
#undef VORMIKA_DIK_CONSTANT

namespace dinput8ext {

// Puts the DirectInput object and both devices back to their state before creation, for
// tools and tests that run the program more than once in one process.
void Reset();

} // namespace dinput8ext
