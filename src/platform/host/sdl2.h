// SDL2 host: the real window, keyboard and mouse, and the screen.
//
//  [x] full screen on the desktop with the picture letterboxed and scaled (nearest), or a
//      window of the picture's size (--windowed)
//  [x] keyboard state through a fixed SDL-scancode to DirectInput-code table
//  [x] relative mouse in raw counts: no renderer scaling, no system acceleration
//  [x] a window of the picture's size is shown by copying the frame into the window's own
//      pixels (shared memory on X11), with no renderer; only a picture that must be scaled
//      goes through a renderer and its texture
//  [x] vsync present, with a ~60 Hz frame cap where vsync is not honoured or not used
//  [x] focus loss frees the pointer and reads as all keys up and no buttons; focus regained
//      takes the pointer again
//  [x] the window manager's close request becomes the Close event
//  [x] a display that refuses full screen gets a window instead, and says so
//  [x] a window that cannot be made ends the process with status 1 and a message: the
//      program would otherwise run unseen with nothing to end it
//  [x] while the window is hidden or minimised nothing is drawn and each frame waits for
//      an event up to 100 ms, so the loop does not spin
//  [ ] no text input, no gamepads, no window resizing by the program
#pragma once

#include <cstdint>

#include "platform/host/host.h"
#include "platform/host/sdl2_scale.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;

namespace host {

class SdlHost final : public Host {
public:
    explicit SdlHost(bool windowed) : windowed_(windowed) {}
    ~SdlHost() override;

    // Starts SDL's video; false, with "vormika: cannot open a display: ..." on stderr,
    // when there is no display.
    bool Init();

    bool OpenWindow(int width, int height, const char* title) override;
    void CloseWindow() override;
    bool NextEvent(Event& event) override;
    bool ReadKeys(std::uint8_t keys[256]) override;
    bool ReadMouse(MouseRead& mouse) override;
    std::uint32_t Ticks() override;
    void Present(const std::uint32_t* pixels, int width, int height) override;
    void ShowSystemCursor(bool show) override;

private:
    // Turns one SDL event into ours; false for the events that are handled here alone.
    bool Translate(const SDL_Event& sdl, Event& event);
    // Window, and either its own surface (the picture's size) or a renderer and streaming
    // texture, full screen or not; false (with SDL's reason left in SDL_GetError) when any
    // of them cannot be made.
    bool MakeWindow(int width, int height, const char* title, bool fullscreen);
    // Renderer and streaming texture for a picture of width x height, letterboxed.
    bool MakeRenderer(int width, int height);
    // Learns the renderer's scaling from one unseen drawing, then gives the renderer up for
    // the window's surface and does that scaling itself. False, with the renderer kept if it
    // still exists, when the scaling cannot be learnt or the surface cannot be had.
    bool AdoptRendererScaling(int width, int height);
    void SetFocus(bool focused);
    // Copies or scales the frame into the window's surface and shows it.
    void PresentToSurface(const std::uint32_t* pixels, int width, int height);
    void CapFrameRate();

    bool windowed_;
    bool started_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;  // with renderer_; both null when the surface is used
    PictureScaler scaler_;
    bool showAll_ = true;             // the whole surface goes to the screen at the next frame
    int width_ = 0;                   // the logical picture
    int height_ = 0;
    bool focused_ = false;
    std::int32_t dx_ = 0;             // relative motion gathered since the last mouse read
    std::int32_t dy_ = 0;
    std::int32_t wheel_ = 0;
    std::uint8_t buttons_[4] = {};    // nonzero while down, as the button events left them
    std::uint64_t lastPresent_ = 0;   // performance counter after the previous present
};

} // namespace host
