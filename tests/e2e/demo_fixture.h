// A test that starts vormika full screen on its own Xvfb and waits until its picture is up.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "desktop.h"
#include "picture.h"

namespace e2e {

// Option rows of the seek order, by their top edge.
constexpr int kDeepRow = 20;
constexpr int kAStarRow = 60;

// How long a key is held: a few frames even on a slow or busy machine.
constexpr int kKeyHoldMs = 400;

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

    // Grabs the screen until `seen` holds for a grab (kept in `last`) or the time is up.
    bool WaitFor(const std::function<bool(const Shot&)>& seen, int timeoutMs) {
        const std::int64_t deadline = NowMs() + timeoutMs;
        do {
            last = desktop.Grab();
            if (seen(last)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        } while (NowMs() < deadline);
        return false;
    }

    void HoldKey(const char* key) {
        desktop.Xdo(std::string("keydown ") + key);
        std::this_thread::sleep_for(std::chrono::milliseconds(kKeyHoldMs));
        desktop.Xdo(std::string("keyup ") + key);
    }

    Desktop desktop;
    XWindowId window = 0;
    Shot last;
};

} // namespace e2e
