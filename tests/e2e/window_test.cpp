// vormika's real window on an X server: full screen from the start, ended by Escape or by
// the window manager's close request.
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
    desktop.Xdo("keydown Escape");
    std::this_thread::sleep_for(std::chrono::milliseconds(kKeyHoldMs));
    desktop.Xdo("keyup Escape");
    EXPECT_EQ(desktop.WaitForExit(2000), std::optional<int>(0)) << desktop.DemoErrors();
}

TEST_F(DemoOnX, EndsWithStatusZeroWhenTheWindowManagerAsksToClose) {
    ASSERT_TRUE(desktop.AcceptsDeleteRequests(window));
    desktop.SendDeleteRequest(window);
    EXPECT_EQ(desktop.WaitForExit(2000), std::optional<int>(0)) << desktop.DemoErrors();
}

} // namespace
} // namespace e2e
