// The window, the message queue and the small kernel calls: close requests becoming the
// quit message, message order, the cursor count and MulDiv's rounding.
#include "shell_fixture.h"

namespace {

using WindowAndQueue = ShellTest;

MSG Take() {
    MSG msg = {};
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    return msg;
}

bool Empty() {
    MSG msg = {};
    return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) == FALSE;
}

TEST_F(WindowAndQueue, CloseRequestDestroysTheWindowAndPostsQuitZero) {
    const HWND window = CreateAppWindow(1024, 768);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(app.windowHandle, window);
    EXPECT_TRUE(headless.WindowOpen());

    headless.RequestClose();
    const MSG close = Take();
    EXPECT_EQ(close.message, WM_CLOSE);
    EXPECT_EQ(close.hwnd, window);
    DispatchMessageA(&close);
    EXPECT_FALSE(headless.WindowOpen());

    const MSG quit = Take();
    EXPECT_EQ(quit.message, WM_QUIT);
    EXPECT_EQ(quit.wParam, 0u);
    EXPECT_TRUE(Empty());
}

TEST_F(WindowAndQueue, KeysBecomeKeyMessagesInOrderAndQuitComesLast) {
    CreateAppWindow(1024, 768);
    PostQuitMessage(0);
    headless.SetKey(DIK_ESCAPE, true);
    headless.SetKey(DIK_ESCAPE, false);
    const MSG down = Take();
    EXPECT_EQ(down.message, WM_KEYDOWN);
    EXPECT_EQ((down.lParam >> 16) & 0xFF, DIK_ESCAPE);
    EXPECT_EQ(Take().message, WM_KEYUP);
    EXPECT_EQ(Take().message, WM_QUIT);
    EXPECT_TRUE(Empty());
}

TEST_F(WindowAndQueue, NoWindowNoInputMessagesAndOtherMessagesPassThrough) {
    headless.SetKey(DIK_Q, true);
    EXPECT_TRUE(Empty());

    const HWND window = CreateAppWindow(1024, 768);
    // Messages other than WM_DESTROY reach the default handling only.
    EXPECT_EQ(WindowProc(window, WM_KEYDOWN, 0, 0), 0);
    EXPECT_TRUE(Empty());
    EXPECT_EQ(WindowProc(window, WM_DESTROY, 0, 0), 0);
    EXPECT_EQ(Take().message, WM_QUIT);
}

TEST_F(WindowAndQueue, QueueDropsPastItsCapacityWithoutLosingOrder) {
    CreateAppWindow(1024, 768);
    for (int i = 0; i < 200; ++i) {
        headless.SetKey(static_cast<std::uint8_t>(DIK_A + (i % 2)), (i % 2) == 0);
    }
    MSG msg = {};
    int taken = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        EXPECT_EQ(msg.message, (taken % 2) == 0 ? WM_KEYDOWN : WM_KEYUP);
        ++taken;
    }
    EXPECT_GT(taken, 0);
    EXPECT_LT(taken, 200);
}

TEST_F(WindowAndQueue, ShowCursorKeepsTheDisplayCount) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(headless.SystemCursorShown());
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_FALSE(headless.SystemCursorShown());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(headless.SystemCursorShown());
}

TEST(MulDiv, RoundsHalfAwayFromZeroAndFailsOnZeroOrOverflow) {
    struct Case {
        int number, numerator, denominator, expected;
    };
    const Case cases[] = {
        {7, 96, 72, 9},           // 9.33
        {14, 96, 72, 19},         // 18.67
        {3, 1, 2, 2},             // 1.5 rounds up
        {-3, 1, 2, -2},           // -1.5 rounds away from zero
        {3, -1, 2, -2},
        {-3, -1, -2, -2},
        {5, 1, 4, 1},             // 1.25
        {1, 1, 0, -1},            // no divisor
        {0x40000000, 4, 1, -1},   // result beyond 32 bits
        {0x40000000, 4, 2, -1},   // 2^31 does not fit
        {-0x40000000, 4, 2, INT32_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

} // namespace
