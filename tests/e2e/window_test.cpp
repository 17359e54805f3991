// vormika's real window on an X server: full screen from the start, ended by Escape or by
// the window manager's close request.
#include <cstdlib>

#include "demo_fixture.h"

namespace e2e {
namespace {

TEST_F(DemoOnX, CoversTheWholeScreenAndEndsOnEscapeWithStatusZero) {
    Rect rect;
    ASSERT_TRUE(desktop.Geometry(window, rect));
    const Rect screen = desktop.ScreenSize();
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, screen.width);
    EXPECT_EQ(rect.height, screen.height);
    // The picture is drawn one to one: the options sit where they belong.
    EXPECT_EQ(OptionMark(last, kDeepRow), Mark::Checked);
    EXPECT_EQ(OptionMark(last, kAStarRow), Mark::Unchecked);

    // Escape ends the program in a frame that has a message to take: the release's.
    ends = true;
    PressKey("Escape");
    EXPECT_EQ(desktop.WaitForExit(2000), std::optional<int>(0)) << desktop.DemoErrors();
}

TEST_F(DemoOnX, EndsWithStatusZeroWhenTheWindowManagerAsksToClose) {
    ASSERT_TRUE(desktop.AcceptsDeleteRequests(window));
    ends = true;
    desktop.SendDeleteRequest(window);
    EXPECT_EQ(desktop.WaitForExit(2000), std::optional<int>(0)) << desktop.DemoErrors();
}

// On a screen larger than the picture: 1280x1024 takes the picture at 1.25 times, 1280x960,
// with black bars of 32 rows above and below.
constexpr int kLargeWidth = 1280;
constexpr int kLargeHeight = 1024;
constexpr int kBar = 32;
constexpr int kMainViewBottom = kBar + 400 * 5 / 4;

// Starts vormika with `options` on the larger screen; its window once it shows `drawn`, or
// 0 (with a failure) when it does not within the time.
XWindowId StartOnLargeScreen(Desktop& desktop, const std::vector<std::string>& options,
                             const std::function<bool(const Shot&)>& drawn, Shot& last) {
    std::string error;
    if (!desktop.Start(error, kLargeWidth, kLargeHeight)) {
        ADD_FAILURE() << error;
        return 0;
    }
    if (!desktop.Launch(options) || desktop.WaitForWindow("VORMIKA", 20000) == 0) {
        ADD_FAILURE() << "no window\n" << desktop.DemoErrors();
        return 0;
    }
    if (!desktop.WaitFor(drawn, 10000, last)) {
        ADD_FAILURE() << "the picture is not where it belongs\n" << desktop.DemoErrors();
        return 0;
    }
    // SDL may make its window anew as it sets up drawing; this one shows the picture.
    return desktop.WaitForWindow("VORMIKA", 5000);
}

bool HaveXvfb() { return std::system("command -v Xvfb >/dev/null") == 0; }

TEST(LargeScreen, FullScreenCoversItWithThePictureScaledAndLetterboxed) {
    if (!HaveXvfb()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    // Down the left edge: a black bar, the main view's green border (the glow band's, the
    // ring diagram's rim, the cursor) scaled to 500 rows, the black ground under it, and the
    // bottom bar.
    const auto green = [](std::uint32_t p) { return (p >> 8 & 0xFF) >= 0xA0 && (p & 0xFF) < 0x20; };
    const auto letterboxed = [&](const Shot& s) {
        for (int y = 0; y < kLargeHeight; ++y) {
            const bool border = y >= kBar && y < kMainViewBottom;
            const bool black = y < kBar || y >= kLargeHeight - kBar ||
                               (y >= kMainViewBottom && y < kMainViewBottom + 80);
            if ((border && !green(s.At(0, y))) || (black && s.At(0, y) != 0)) {
                return false;
            }
        }
        return true;
    };
    Desktop desktop;
    Shot last;
    const XWindowId window = StartOnLargeScreen(desktop, {}, letterboxed, last);
    ASSERT_NE(window, 0u);
    Rect rect;
    ASSERT_TRUE(desktop.Geometry(window, rect));
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, kLargeWidth);
    EXPECT_EQ(rect.height, kLargeHeight);
}

TEST(LargeScreen, WindowedKeepsThePicturesSizeAndShowsItOneToOne) {
    if (!HaveXvfb()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const Rect centred{(kLargeWidth - 1024) / 2, (kLargeHeight - 768) / 2, 1024, 768};
    const auto drawn = [&](const Shot& s) {
        return OptionMark(Crop(s, centred), kDeepRow) == Mark::Checked;
    };
    Desktop desktop;
    Shot last;
    const XWindowId window = StartOnLargeScreen(desktop, {"--windowed"}, drawn, last);
    ASSERT_NE(window, 0u);
    Rect rect;
    ASSERT_TRUE(desktop.Geometry(window, rect));
    EXPECT_EQ(rect.width, 1024);
    EXPECT_EQ(rect.height, 768);
    const Shot inside = Crop(last, rect);
    EXPECT_EQ(OptionMark(inside, kDeepRow), Mark::Checked);
    EXPECT_EQ(OptionMark(inside, kAStarRow), Mark::Unchecked);
}

} // namespace
} // namespace e2e
