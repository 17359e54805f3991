// A test that starts vormika full screen on its own Xvfb and waits until its picture is up.
#pragma once

#include <gtest/gtest.h>

#include "desktop.h"
#include "picture.h"

namespace e2e {

// Option rows of the seek order, by their top edge.
constexpr int kDeepRow = 20;
constexpr int kAStarRow = 60;

class DemoOnX : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!desktop.Start(error)) {
            if (error.find("not installed") != std::string::npos) {
                GTEST_SKIP() << error;
            }
            FAIL() << error;
        }
        ASSERT_TRUE(desktop.Launch({}));
        ASSERT_NE(desktop.WaitForWindow("VORMIKA", 20000), 0u) << "no window\n"
                                                              << desktop.DemoErrors();
        // The first frames are up once the seek order's options show.
        ASSERT_TRUE(WaitFor([](const Shot& s) { return OptionMark(s, kDeepRow) == Mark::Checked; },
                            20000))
            << desktop.DemoErrors();
        // SDL may make its window anew when it sets up the renderer, so the one that shows
        // the picture is looked up only now.
        window = desktop.WaitForWindow("VORMIKA", 5000);
        ASSERT_NE(window, 0u);
        desktop.Focus(window);
    }

    void TearDown() override {
        // A program that was not asked to end must still be running: nothing it was sent
        // made it crash.
        if (!ends && !IsSkipped() && !HasFailure()) {
            EXPECT_TRUE(desktop.Running()) << desktop.DemoErrors();
        }
    }

    bool WaitFor(const std::function<bool(const Shot&)>& seen, int timeoutMs) {
        return desktop.WaitFor(seen, timeoutMs, last);
    }

    // Waits until the program has shown `frames` new frames. The light moves in every
    // frame, so each change of the screen is at least one new frame.
    bool WaitForFrames(int frames, int timeoutMs) {
        Shot previous = desktop.Grab();
        return WaitFor(
            [&](const Shot& s) {
                if (s.pixels != previous.pixels) {
                    --frames;
                    previous = s;
                }
                return frames <= 0;
            },
            timeoutMs);
    }

    // Holds a key down until the program has surely polled it, then lets it go.
    void PressKey(const char* key) {
        desktop.Xdo(std::string("keydown ") + key);
        EXPECT_TRUE(WaitForFrames(3, 10000));
        desktop.Xdo(std::string("keyup ") + key);
    }

    Desktop desktop;
    XWindowId window = 0;
    Shot last;
    bool ends = false;  // whether the test ends the program itself
};

} // namespace e2e
