// The host: the one layer that talks to the operating system. The platform stand-ins
// (win32, dinput8, d3d8) call only this interface; main() installs the SDL2 host, the
// tools and tests install the headless one, before WinMain runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// What the host reports that becomes a window message.
enum class EventKind : std::uint8_t {
    KeyDown, // a key went down (or repeats); dik holds its DirectInput code
    KeyUp,   // a key went up
    Close,   // the window manager asks the window to close
};

struct Event {
    EventKind kind;
    std::uint8_t dik; // DirectInput key code (DIK_*), 0 for Close
};

// Mouse movement since the previous read, in raw device counts, and the buttons now.
struct MouseRead {
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    std::int32_t wheel = 0;
    std::uint8_t buttons[4] = {0, 0, 0, 0}; // nonzero while down; [0] primary, [1] secondary
};

class Host {
public:
    virtual ~Host() = default;

    // Makes the program's window (or its headless stand-in) of width x height logical pixels.
    // False, with a message already printed on stderr, when there is no display.
    virtual bool OpenWindow(int width, int height, const char* title) = 0;
    virtual void CloseWindow() = 0;

    // Takes one pending message-worthy event; false when there is none. Never waits.
    virtual bool NextEvent(Event& event) = 0;

    // Fills the 256-entry DirectInput key array: 0x80 for a key that is down, else 0.
    // All keys read as up while the window has no focus. False when the read failed.
    virtual bool ReadKeys(std::uint8_t keys[256]) = 0;

    // Takes the relative motion gathered since the last read and the button state.
    // False, with nothing moved and no button down, when the read failed.
    virtual bool ReadMouse(MouseRead& mouse) = 0;

    // Milliseconds since some fixed point, wrapping at 2^32.
    virtual std::uint32_t Ticks() = 0;

    // Shows one finished frame of width x height 0xAARRGGBB words (alpha ignored);
    // paces the loop (vsync or a frame cap) where the host shows frames to a person.
    virtual void Present(const std::uint32_t* pixels, int width, int height) = 0;

    // Whether the system cursor shows over the window.
    virtual void ShowSystemCursor(bool show) = 0;
};

// Zeroed memory for a large pixel buffer (a back buffer, a depth buffer, drawing-order tags, a kept frame)
// of at least `bytes`, or null. Where the system can, it is backed by large pages: the
// drawing loops step through these buffers a row apart, and with small pages nearly every
// row of a 1024-pixel back buffer lies on a page of its own, so that most rows would first
// miss in the processor's page-translation caches. Given back with FreeBuffer.
void* AllocateBuffer(std::size_t bytes);
void FreeBuffer(void* buffer);

// Frees an AllocateBuffer array held in a std::unique_ptr.
struct BufferFree {
    void operator()(void* buffer) const noexcept { FreeBuffer(buffer); }
};

// The host in use. Install() before WinMain; Current() is only valid after it.
void Install(Host* host);
Host& Current();
bool Installed();

} // namespace host
