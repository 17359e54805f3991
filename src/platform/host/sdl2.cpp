// SDL2 host: the real window, keyboard and mouse, and the screen (see sdl2.h for what it
// does and does not do).
#include "platform/host/sdl2.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/dinput8.h"

namespace host {
namespace {

struct KeyPair {
    SDL_Scancode scancode;
    std::uint8_t dik;
};

// The keys of a PC keyboard and their DirectInput codes (which are the keyboard's own scan
// codes, extended keys with the top bit set).
constexpr KeyPair kKeyPairs[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_1, DIK_1}, {SDL_SCANCODE_2, DIK_2},
    {SDL_SCANCODE_3, DIK_3}, {SDL_SCANCODE_4, DIK_4}, {SDL_SCANCODE_5, DIK_5},
    {SDL_SCANCODE_6, DIK_6}, {SDL_SCANCODE_7, DIK_7}, {SDL_SCANCODE_8, DIK_8},
    {SDL_SCANCODE_9, DIK_9}, {SDL_SCANCODE_0, DIK_0}, {SDL_SCANCODE_MINUS, DIK_MINUS},
    {SDL_SCANCODE_EQUALS, DIK_EQUALS}, {SDL_SCANCODE_BACKSPACE, DIK_BACK},
    {SDL_SCANCODE_TAB, DIK_TAB}, {SDL_SCANCODE_Q, DIK_Q}, {SDL_SCANCODE_W, DIK_W},
    {SDL_SCANCODE_E, DIK_E}, {SDL_SCANCODE_R, DIK_R}, {SDL_SCANCODE_T, DIK_T},
    {SDL_SCANCODE_Y, DIK_Y}, {SDL_SCANCODE_U, DIK_U}, {SDL_SCANCODE_I, DIK_I},
    {SDL_SCANCODE_O, DIK_O}, {SDL_SCANCODE_P, DIK_P}, {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
    {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET}, {SDL_SCANCODE_RETURN, DIK_RETURN},
    {SDL_SCANCODE_LCTRL, DIK_LCONTROL}, {SDL_SCANCODE_A, DIK_A}, {SDL_SCANCODE_S, DIK_S},
    {SDL_SCANCODE_D, DIK_D}, {SDL_SCANCODE_F, DIK_F}, {SDL_SCANCODE_G, DIK_G},
    {SDL_SCANCODE_H, DIK_H}, {SDL_SCANCODE_J, DIK_J}, {SDL_SCANCODE_K, DIK_K},
    {SDL_SCANCODE_L, DIK_L}, {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},
    {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE}, {SDL_SCANCODE_GRAVE, DIK_GRAVE},
    {SDL_SCANCODE_LSHIFT, DIK_LSHIFT}, {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
    {SDL_SCANCODE_Z, DIK_Z}, {SDL_SCANCODE_X, DIK_X}, {SDL_SCANCODE_C, DIK_C},
    {SDL_SCANCODE_V, DIK_V}, {SDL_SCANCODE_B, DIK_B}, {SDL_SCANCODE_N, DIK_N},
    {SDL_SCANCODE_M, DIK_M}, {SDL_SCANCODE_COMMA, DIK_COMMA}, {SDL_SCANCODE_PERIOD, DIK_PERIOD},
    {SDL_SCANCODE_SLASH, DIK_SLASH}, {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY}, {SDL_SCANCODE_LALT, DIK_LMENU},
    {SDL_SCANCODE_SPACE, DIK_SPACE}, {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL},
    {SDL_SCANCODE_F1, DIK_F1}, {SDL_SCANCODE_F2, DIK_F2}, {SDL_SCANCODE_F3, DIK_F3},
    {SDL_SCANCODE_F4, DIK_F4}, {SDL_SCANCODE_F5, DIK_F5}, {SDL_SCANCODE_F6, DIK_F6},
    {SDL_SCANCODE_F7, DIK_F7}, {SDL_SCANCODE_F8, DIK_F8}, {SDL_SCANCODE_F9, DIK_F9},
    {SDL_SCANCODE_F10, DIK_F10}, {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK},
    {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL}, {SDL_SCANCODE_KP_7, DIK_NUMPAD7},
    {SDL_SCANCODE_KP_8, DIK_NUMPAD8}, {SDL_SCANCODE_KP_9, DIK_NUMPAD9},
    {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT}, {SDL_SCANCODE_KP_4, DIK_NUMPAD4},
    {SDL_SCANCODE_KP_5, DIK_NUMPAD5}, {SDL_SCANCODE_KP_6, DIK_NUMPAD6},
    {SDL_SCANCODE_KP_PLUS, DIK_ADD}, {SDL_SCANCODE_KP_1, DIK_NUMPAD1},
    {SDL_SCANCODE_KP_2, DIK_NUMPAD2}, {SDL_SCANCODE_KP_3, DIK_NUMPAD3},
    {SDL_SCANCODE_KP_0, DIK_NUMPAD0}, {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},
    {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102}, {SDL_SCANCODE_F11, DIK_F11},
    {SDL_SCANCODE_F12, DIK_F12}, {SDL_SCANCODE_F13, DIK_F13}, {SDL_SCANCODE_F14, DIK_F14},
    {SDL_SCANCODE_F15, DIK_F15}, {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA},
    {SDL_SCANCODE_INTERNATIONAL1, DIK_ABNT_C1}, {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT},
    {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT}, {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN},
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS}, {SDL_SCANCODE_AUDIOPREV, DIK_PREVTRACK},
    {SDL_SCANCODE_AUDIONEXT, DIK_NEXTTRACK}, {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL}, {SDL_SCANCODE_AUDIOMUTE, DIK_MUTE},
    {SDL_SCANCODE_CALCULATOR, DIK_CALCULATOR}, {SDL_SCANCODE_AUDIOPLAY, DIK_PLAYPAUSE},
    {SDL_SCANCODE_AUDIOSTOP, DIK_MEDIASTOP}, {SDL_SCANCODE_VOLUMEDOWN, DIK_VOLUMEDOWN},
    {SDL_SCANCODE_VOLUMEUP, DIK_VOLUMEUP}, {SDL_SCANCODE_AC_HOME, DIK_WEBHOME},
    {SDL_SCANCODE_KP_COMMA, DIK_NUMPADCOMMA}, {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ}, {SDL_SCANCODE_RALT, DIK_RMENU},
    {SDL_SCANCODE_PAUSE, DIK_PAUSE}, {SDL_SCANCODE_HOME, DIK_HOME}, {SDL_SCANCODE_UP, DIK_UP},
    {SDL_SCANCODE_PAGEUP, DIK_PRIOR}, {SDL_SCANCODE_LEFT, DIK_LEFT},
    {SDL_SCANCODE_RIGHT, DIK_RIGHT}, {SDL_SCANCODE_END, DIK_END}, {SDL_SCANCODE_DOWN, DIK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT}, {SDL_SCANCODE_INSERT, DIK_INSERT},
    {SDL_SCANCODE_DELETE, DIK_DELETE}, {SDL_SCANCODE_LGUI, DIK_LWIN},
    {SDL_SCANCODE_RGUI, DIK_RWIN}, {SDL_SCANCODE_APPLICATION, DIK_APPS},
    {SDL_SCANCODE_POWER, DIK_POWER}, {SDL_SCANCODE_SLEEP, DIK_SLEEP},
    {SDL_SCANCODE_AC_SEARCH, DIK_WEBSEARCH}, {SDL_SCANCODE_AC_BOOKMARKS, DIK_WEBFAVORITES},
    {SDL_SCANCODE_AC_REFRESH, DIK_WEBREFRESH}, {SDL_SCANCODE_AC_STOP, DIK_WEBSTOP},
    {SDL_SCANCODE_AC_FORWARD, DIK_WEBFORWARD}, {SDL_SCANCODE_AC_BACK, DIK_WEBBACK},
    {SDL_SCANCODE_COMPUTER, DIK_MYCOMPUTER}, {SDL_SCANCODE_MAIL, DIK_MAIL},
    {SDL_SCANCODE_MEDIASELECT, DIK_MEDIASELECT},
};

constexpr std::array<std::uint8_t, SDL_NUM_SCANCODES> MakeKeyTable() {
    std::array<std::uint8_t, SDL_NUM_SCANCODES> table{};
    for (const KeyPair& pair : kKeyPairs) {
        table[pair.scancode] = pair.dik;
    }
    return table;
}

// DirectInput code by SDL scancode; 0 for keys DirectInput does not know.
constexpr std::array<std::uint8_t, SDL_NUM_SCANCODES> kDikByScancode = MakeKeyTable();

// DirectInput reports the wheel in these units per notch.
constexpr std::int32_t kWheelDelta = 120;

// Where vsync is not honoured the loop is held to about this rate.
constexpr double kCapHz = 60.0;

// While the window is hidden or minimised, each frame waits this long for an event.
constexpr int kHiddenWaitMs = 100;

int ButtonIndex(std::uint8_t sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    default:
        return -1;
    }
}

// Whether the window's surface can be had and holds 0x00RRGGBB words, so that frames are
// copied into it as they are.
bool SurfaceTakesWords(SDL_Window* window) {
    const SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr) {
        return false;
    }
    const SDL_PixelFormat* format = surface->format;
    return format->BytesPerPixel == 4 && format->Rmask == 0xFF0000 && format->Gmask == 0xFF00 &&
           format->Bmask == 0xFF && format->Amask == 0 && surface->pitch % 4 == 0;
}

// Whether the renderer draws with the processor: SDL's own software renderer, or GL done in
// software (Mesa's llvmpipe, softpipe and the like).
bool DrawsInSoftware(SDL_Renderer* renderer) {
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(renderer, &info) != 0) {
        return false;
    }
    if ((info.flags & SDL_RENDERER_SOFTWARE) != 0) {
        return true;
    }
    if (info.name == nullptr || std::strncmp(info.name, "opengl", 6) != 0) {
        return false;
    }
    using GetString = const unsigned char* (*)(unsigned int);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    constexpr unsigned int kGlRenderer = 0x1F01;
    const unsigned char* name = getString != nullptr ? getString(kGlRenderer) : nullptr;
    if (name == nullptr) {
        return false;
    }
    const char* text = reinterpret_cast<const char*>(name);
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"}) {
        if (std::strstr(text, software) != nullptr) {
            return true;
        }
    }
    return false;
}

} // namespace

SdlHost::~SdlHost() {
    CloseWindow();
    if (started_) {
        SDL_Quit();
    }
}

bool SdlHost::Init() {
    // Raw counts: no scaling by the logical size or DPI, no acceleration curve.
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_SCALING, "0");
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_SYSTEM_SCALE, "0");
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // The window's own pixels, not a texture of a GL renderer standing in for them: the
    // frame is copied straight into the window's shared memory, with no software GL behind it.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "vormika: cannot open a display: %s\n", SDL_GetError());
        return false;
    }
    started_ = true;
    // With no display SDL falls back to drivers that show nothing; only a user who asks for
    // one by SDL_VIDEODRIVER gets it.
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool invisible = driver != nullptr && (std::strcmp(driver, "offscreen") == 0 ||
                                                 std::strcmp(driver, "dummy") == 0);
    if (invisible && SDL_getenv("SDL_VIDEODRIVER") == nullptr) {
        std::fprintf(stderr, "vormika: cannot open a display: no X11 or Wayland display found "
                             "(is DISPLAY set?)\n");
        return false;
    }
    return true;
}

bool SdlHost::MakeWindow(int width, int height, const char* title, bool fullscreen) {
    const Uint32 flags = fullscreen ? static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP) : 0u;
    // Full screen, the window is made as large as the screen in the first place: SDL asks
    // the window manager for full screen, and where none runs (a bare X server) the window
    // would otherwise keep the picture's size while SDL draws for the whole screen.
    SDL_Rect place{static_cast<int>(SDL_WINDOWPOS_CENTERED),
                   static_cast<int>(SDL_WINDOWPOS_CENTERED), width, height};
    SDL_Rect screen{};
    if (fullscreen && SDL_GetDisplayBounds(0, &screen) == 0) {
        place = screen;
    }
    window_ = SDL_CreateWindow(title, place.x, place.y, place.w, place.h, flags);
    if (window_ == nullptr) {
        return false;
    }
    // A window of the picture's size takes the frame by a plain copy into its own pixels;
    // that costs far less than a renderer, which only pays where it scales the picture.
    int shownWidth = 0;
    int shownHeight = 0;
    SDL_GetWindowSize(window_, &shownWidth, &shownHeight);
    if (shownWidth == width && shownHeight == height && SurfaceTakesWords(window_)) {
        return true;
    }
    if (!MakeRenderer(width, height)) {
        return false;
    }
    // A renderer that draws with the processor all the same is only kept if its scaling
    // cannot be learnt and done here instead, at a fraction of the cost.
    if (DrawsInSoftware(renderer_) && !AdoptRendererScaling(width, height) && renderer_ == nullptr) {
        return MakeRenderer(width, height);
    }
    return true;
}

bool SdlHost::MakeRenderer(int width, int height) {
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
    if (renderer_ != nullptr) {
        // The picture keeps its size and shape: letterboxed, scaled by nearest pixel.
        SDL_RenderSetLogicalSize(renderer_, width, height);
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                     SDL_TEXTUREACCESS_STREAMING, width, height);
    }
    return texture_ != nullptr;
}

bool SdlHost::AdoptRendererScaling(int width, int height) {
    int outWidth = 0;
    int outHeight = 0;
    if (!CanCodePlaces(width, height) ||
        SDL_GetRendererOutputSize(renderer_, &outWidth, &outHeight) != 0 || outWidth <= 0 ||
        outHeight <= 0) {
        return false;
    }
    // The renderer draws, once and unseen, a picture whose pixels name their own places;
    // what it leaves in the back buffer is its scaling, exactly as it would show a frame.
    std::vector<std::uint32_t> codes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    FillPlaceCodes(codes.data(), width, height);
    if (SDL_UpdateTexture(texture_, nullptr, codes.data(), width * 4) != 0) {
        return false;
    }
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    // Read back one to one, bars and all.
    SDL_RenderSetLogicalSize(renderer_, 0, 0);
    std::vector<std::uint32_t> shot(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight));
    const int read = SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_ARGB8888, shot.data(),
                                          outWidth * 4);
    SDL_RenderSetLogicalSize(renderer_, width, height);
    ScaleMaps maps;
    if (read != 0 || !ReadPlaceCodes(shot.data(), outWidth, outHeight, outWidth, width, height, maps)) {
        return false;
    }
    SDL_DestroyTexture(texture_);
    texture_ = nullptr;
    SDL_DestroyRenderer(renderer_);
    renderer_ = nullptr;
    if (!SurfaceTakesWords(window_)) {
        return false;
    }
    const SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface->w != outWidth || surface->h != outHeight) {
        // Not the size the renderer drew for: the learnt scaling would not fit.
        return false;
    }
    scaler_.Adopt(width, height, outWidth, outHeight, std::move(maps));
    return true;
}

bool SdlHost::OpenWindow(int width, int height, const char* title) {
    if (!started_ && !Init()) {
        return false;
    }
    bool made = MakeWindow(width, height, title, !windowed_);
    if (!made && !windowed_) {
        // A display that will not go full screen still shows the program in a window.
        std::fprintf(stderr, "vormika: full screen refused (%s); using a window\n", SDL_GetError());
        CloseWindow();
        made = MakeWindow(width, height, title, false);
    }
    if (!made) {
        // The program would run on unseen, with no window to close and no key to end it.
        std::fprintf(stderr, "vormika: cannot open a window: %s\n", SDL_GetError());
        CloseWindow();
        std::exit(1);
    }
    width_ = width;
    height_ = height;
    SetFocus((SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0);
    return true;
}

void SdlHost::CloseWindow() {
    if (texture_ != nullptr) {
        SDL_DestroyTexture(texture_);
        texture_ = nullptr;
    }
    if (renderer_ != nullptr) {
        SDL_DestroyRenderer(renderer_);
        renderer_ = nullptr;
    }
    if (window_ != nullptr) {
        SDL_SetRelativeMouseMode(SDL_FALSE);
        SDL_DestroyWindow(window_);
        window_ = nullptr;
    }
    focused_ = false;
}

void SdlHost::SetFocus(bool focused) {
    focused_ = focused;
    // Whatever moved or was held while away is not the program's.
    dx_ = 0;
    dy_ = 0;
    wheel_ = 0;
    std::memset(buttons_, 0, sizeof buttons_);
    SDL_SetRelativeMouseMode(focused ? SDL_TRUE : SDL_FALSE);
}

bool SdlHost::Translate(const SDL_Event& sdl, Event& event) {
    switch (sdl.type) {
    case SDL_QUIT:
        event = Event{EventKind::Close, 0};
        return true;
    case SDL_WINDOWEVENT:
        if (sdl.window.event == SDL_WINDOWEVENT_CLOSE) {
            event = Event{EventKind::Close, 0};
            return true;
        }
        if (sdl.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            // SDL makes the surface anew, perhaps where the old one was: its bars too.
            scaler_.Forget();
        }
        if (sdl.window.event == SDL_WINDOWEVENT_EXPOSED || sdl.window.event == SDL_WINDOWEVENT_SHOWN ||
            sdl.window.event == SDL_WINDOWEVENT_RESTORED) {
            // The screen lost what it showed of the window: all of it goes again.
            showAll_ = true;
        }
        if (sdl.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            SetFocus(true);
        } else if (sdl.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            SetFocus(false);
        }
        return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const std::uint8_t dik = kDikByScancode[sdl.key.keysym.scancode];
        if (dik == 0) {
            return false;
        }
        event = Event{sdl.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp, dik};
        return true;
    }
    case SDL_MOUSEMOTION:
        if (focused_) {
            dx_ += sdl.motion.xrel;
            dy_ += sdl.motion.yrel;
        }
        return false;
    case SDL_MOUSEWHEEL:
        if (focused_) {
            wheel_ += sdl.wheel.y * kWheelDelta;
        }
        return false;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int index = ButtonIndex(sdl.button.button);
        if (index >= 0 && (focused_ || sdl.type == SDL_MOUSEBUTTONUP)) {
            buttons_[index] = sdl.type == SDL_MOUSEBUTTONDOWN ? 1 : 0;
        }
        return false;
    }
    default:
        return false;
    }
}

bool SdlHost::NextEvent(Event& event) {
    SDL_Event sdl;
    while (SDL_PollEvent(&sdl) != 0) {
        if (Translate(sdl, event)) {
            return true;
        }
    }
    return false;
}

bool SdlHost::ReadKeys(std::uint8_t keys[256]) {
    std::memset(keys, 0, 256);
    if (!focused_) {
        return true;
    }
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (const KeyPair& pair : kKeyPairs) {
        if (pair.scancode < count && state[pair.scancode] != 0) {
            keys[pair.dik] = 0x80;
        }
    }
    return true;
}

bool SdlHost::ReadMouse(MouseRead& mouse) {
    mouse = MouseRead{};
    if (!focused_) {
        return true;
    }
    mouse.dx = dx_;
    mouse.dy = dy_;
    mouse.wheel = wheel_;
    std::memcpy(mouse.buttons, buttons_, sizeof buttons_);
    dx_ = 0;
    dy_ = 0;
    wheel_ = 0;
    return true;
}

std::uint32_t SdlHost::Ticks() { return SDL_GetTicks(); }

void SdlHost::Present(const std::uint32_t* pixels, int width, int height) {
    // A window nobody can see is not drawn, and the loop slows to a few passes a second
    // instead of spinning; any event (the window shown again among them) wakes it at once.
    if (window_ != nullptr &&
        (SDL_GetWindowFlags(window_) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) != 0) {
        SDL_WaitEventTimeout(nullptr, kHiddenWaitMs);
        lastPresent_ = SDL_GetPerformanceCounter();
        return;
    }
    if (pixels != nullptr && width > 0 && height > 0) {
        if (texture_ != nullptr) {
            const SDL_Rect area{0, 0, std::min(width, width_), std::min(height, height_)};
            SDL_UpdateTexture(texture_, &area, pixels, width * static_cast<int>(sizeof(std::uint32_t)));
            SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
            SDL_RenderClear(renderer_);
            SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
            SDL_RenderPresent(renderer_);
        } else if (window_ != nullptr) {
            PresentToSurface(pixels, width, height);
        }
    }
    CapFrameRate();
}

void SdlHost::PresentToSurface(const std::uint32_t* pixels, int width, int height) {
    // The surface is SDL's until the window changes size; then it gives a new one.
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface == nullptr || SDL_LockSurface(surface) != 0) {
        return;
    }
    const FrameView frame{pixels, width, height, width};
    const PixelView target{static_cast<std::uint32_t*>(surface->pixels), surface->w, surface->h,
                           surface->pitch / static_cast<int>(sizeof(std::uint32_t))};
    scaler_.Show(frame, target, width_, height_);
    SDL_UnlockSurface(surface);
    // Only the rows that changed go to the screen; most of the picture stands still.
    int count = 0;
    const Placement* changed = scaler_.Changed(count);
    if (showAll_ || scaler_.ChangedAll()) {
        SDL_UpdateWindowSurface(window_);
        showAll_ = false;
    } else if (count > 0) {
        std::array<SDL_Rect, PictureScaler::kMaxChanged> rects;
        for (int i = 0; i < count; ++i) {
            rects[static_cast<std::size_t>(i)] = SDL_Rect{changed[i].x, changed[i].y, changed[i].width, changed[i].height};
        }
        SDL_UpdateWindowSurfaceRects(window_, rects.data(), count);
    }
}

void SdlHost::CapFrameRate() {
    // A vsync'd present returns about one refresh after the previous one; one that came
    // back much sooner was not paced, so the rest of the frame is slept away.
    const std::uint64_t frequency = SDL_GetPerformanceFrequency();
    const std::uint64_t interval = static_cast<std::uint64_t>(frequency / kCapHz);
    const std::uint64_t slack = frequency / 500; // 2 ms
    const std::uint64_t now = SDL_GetPerformanceCounter();
    if (lastPresent_ != 0 && now - lastPresent_ + slack < interval) {
        const std::uint64_t remaining = interval - (now - lastPresent_);
        SDL_Delay(static_cast<Uint32>(remaining * 1000 / frequency));
    }
    lastPresent_ = SDL_GetPerformanceCounter();
}

void SdlHost::ShowSystemCursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

} // namespace host
