// The SDL2 host losing the focus while a key and a button are held: from then on nothing
// reads as down and the motion made while away is not the program's. Runs on SDL's
// offscreen driver, so it needs no display.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <string>

#include "platform/host/sdl2.h"
#include "support/scoped_env.h"

namespace {

void PushWindowEvent(Uint8 what) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    SDL_PushEvent(&event);
}

void PushButton(Uint32 type) {
    SDL_Event event = {};
    event.type = type;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&event);
}

void PushMotion(int dx, int dy) {
    SDL_Event event = {};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    SDL_PushEvent(&event);
}

// Lets the host take every pending SDL event.
void Drain(host::SdlHost& sdl) {
    host::Event event;
    while (sdl.NextEvent(event)) {
    }
}

TEST(SdlFocus, LosingTheFocusReleasesButtonsAndKeysAndDropsMotion) {
    const ScopedEnv driver("SDL_VIDEODRIVER", "offscreen");
    // No EGL: the GL driver it would load keeps memory past SDL_Quit, which a leak check
    // would lay at this test's door.
    const ScopedEnv egl("SDL_VIDEO_EGL_DRIVER", "none");
    host::SdlHost sdl(true);
    if (!sdl.Init()) {
        GTEST_SKIP() << "SDL's offscreen video driver is not available";
    }
    ASSERT_TRUE(sdl.OpenWindow(64, 48, "focus"));

    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    PushButton(SDL_MOUSEBUTTONDOWN);
    PushMotion(5, -3);
    Drain(sdl);
    host::MouseRead mouse;
    ASSERT_TRUE(sdl.ReadMouse(mouse));
    EXPECT_NE(mouse.buttons[0], 0);
    EXPECT_EQ(mouse.dx, 5);
    EXPECT_EQ(mouse.dy, -3);

    // The button stays down in the window system while the focus goes elsewhere.
    PushMotion(7, 7);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushMotion(9, 9);
    Drain(sdl);
    ASSERT_TRUE(sdl.ReadMouse(mouse));
    EXPECT_EQ(mouse.buttons[0], 0);
    EXPECT_EQ(mouse.dx, 0);
    EXPECT_EQ(mouse.dy, 0);
    std::uint8_t keys[256];
    ASSERT_TRUE(sdl.ReadKeys(keys));
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(keys[i], 0) << "key " << i;
    }

    // Back in focus, the button held all along does not come back until pressed again.
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    Drain(sdl);
    ASSERT_TRUE(sdl.ReadMouse(mouse));
    EXPECT_EQ(mouse.buttons[0], 0);
    PushButton(SDL_MOUSEBUTTONUP);
    PushButton(SDL_MOUSEBUTTONDOWN);
    Drain(sdl);
    ASSERT_TRUE(sdl.ReadMouse(mouse));
    EXPECT_NE(mouse.buttons[0], 0);
    sdl.CloseWindow();
}

} // namespace
