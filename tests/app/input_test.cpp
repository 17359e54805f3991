// Keyboard and mouse through the DirectInput devices, and the program's own cursor: speed,
// truncation, clamping, buttons and failed reads.
#include "shell_fixture.h"

#include "seek/seek_keys.h"

namespace {

using Input = ShellTest;

TEST_F(Input, CursorMovesByCountsTimesSpeedAndKeepsFractions) {
    StartInput();
    headless.AddMouseMotion(1, 1);
    PollMouse();
    EXPECT_FLOAT_EQ(app.mouseX, 1.6f);
    EXPECT_EQ(GetCursorX(), 1);
    headless.AddMouseMotion(4, 4);
    PollMouse();
    EXPECT_EQ(GetCursorX(), 8);
    EXPECT_EQ(GetCursorY(), 8);
    // Five single counts, one per poll, reach the same pixel as one move of five.
    ResetAppState();
    StartInput();
    for (int i = 0; i < 5; ++i) {
        headless.AddMouseMotion(1, 0);
        PollMouse();
    }
    EXPECT_EQ(GetCursorX(), 8);
}

TEST_F(Input, CursorIsClampedOnTruncatedPosition) {
    StartInput();
    struct Case {
        float x, y;         // stored position before ClampCursor
        std::int32_t cx, cy; // what the cursor reads after it
        float storedX;      // the stored x after it
    };
    const Case cases[] = {
        {1023.5f, 10.0f, 1023, 10, 1023.5f}, // overshoot of less than a pixel stays
        {-0.5f, 10.0f, 0, 10, -0.5f},        // truncates toward zero
        {1024.0f, 767.9f, 1023, 767, 1023.0f},
        {-1.0f, 800.0f, 0, 767, 0.0f},
        {5000.0f, -5000.0f, 1023, 0, 1023.0f},
    };
    for (const Case& c : cases) {
        app.mouseX = c.x;
        app.mouseY = c.y;
        ClampCursor();
        EXPECT_EQ(GetCursorX(), c.cx) << c.x;
        EXPECT_EQ(GetCursorY(), c.cy) << c.y;
        EXPECT_FLOAT_EQ(app.mouseX, c.storedX) << c.x;
    }
}

TEST_F(Input, CursorStartsTopLeftAndStaysThereMovingUpOrLeft) {
    StartInput();
    EXPECT_EQ(GetCursorX(), 0);
    EXPECT_EQ(GetCursorY(), 0);
    headless.AddMouseMotion(-3, -7);
    PollMouse();
    EXPECT_EQ(GetCursorX(), 0);
    EXPECT_EQ(GetCursorY(), 0);
}

TEST_F(Input, NewBoundsMoveTheCursorOntoTheNearerBound) {
    StartInput();
    app.mouseX = 500.0f;
    app.mouseY = 10.0f;
    SetCursorBounds(600, 20, 700, 30);
    EXPECT_EQ(GetCursorX(), 600);
    EXPECT_EQ(GetCursorY(), 20);
    SetCursorBounds(0, 0, 100, 15);
    EXPECT_EQ(GetCursorX(), 100);
    EXPECT_EQ(GetCursorY(), 15);
}

TEST_F(Input, HugeMovesSaturateInsteadOfOverflowing) {
    StartInput();
    headless.AddMouseMotion(INT32_MAX, INT32_MIN);
    PollMouse();
    EXPECT_EQ(GetCursorX(), 1023);
    EXPECT_EQ(GetCursorY(), 0);
}

TEST_F(Input, ButtonsMapToTwoBitsAndWheelAndExtraButtonsAreIgnored) {
    StartInput();
    struct Case {
        bool b0, b1, b2, b3;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {false, false, false, false, 0}, {true, false, false, false, 1},
        {false, true, false, false, 2},  {true, true, false, false, 3},
        {false, false, true, true, 0},   {true, true, true, true, 3},
    };
    for (const Case& c : cases) {
        headless.SetButton(0, c.b0);
        headless.SetButton(1, c.b1);
        headless.SetButton(2, c.b2);
        headless.SetButton(3, c.b3);
        PollMouse();
        EXPECT_EQ(GetMouseButtons(), c.expected);
    }
    EXPECT_EQ(GetCursorX(), 0);
}

TEST_F(Input, FailedMouseReadMovesNothingAndHoldsNoButton) {
    StartInput();
    headless.SetButton(0, true);
    PollMouse();
    ASSERT_EQ(GetMouseButtons(), 1u);
    headless.AddMouseMotion(10, 10);
    headless.SetReadsFail(false, true);
    PollMouse();
    EXPECT_EQ(GetMouseButtons(), 0u);
    EXPECT_EQ(GetCursorX(), 0);
    // The next good read works again: the poll acquires the device each time.
    headless.SetReadsFail(false, false);
    headless.AddMouseMotion(5, 0);
    PollMouse();
    EXPECT_EQ(GetCursorX(), 8);
}

TEST_F(Input, KeyboardPollAcquiresAndReadsTheKeyArray) {
    StartInput();
    headless.SetKey(DIK_Q, true);
    EXPECT_EQ(app.keyState[DIK_Q], 0); // nothing changes before the poll
    EXPECT_EQ(PollKeyboard(), DI_OK);
    EXPECT_EQ(app.keyState[DIK_Q], 0x80);
    headless.SetKey(DIK_Q, false);
    headless.SetReadsFail(true, false);
    EXPECT_TRUE(FAILED(PollKeyboard()));
    EXPECT_EQ(app.keyState[DIK_Q], 0x80); // a failed read keeps the previous array
    headless.SetReadsFail(false, false);
    EXPECT_EQ(PollKeyboard(), DI_OK);
    EXPECT_EQ(app.keyState[DIK_Q], 0);
}

TEST_F(Input, PollsWithoutDevicesChangeNothing) {
    headless.AddMouseMotion(10, 10);
    headless.SetButton(0, true);
    EXPECT_TRUE(FAILED(PollKeyboard()));
    PollMouse();
    EXPECT_EQ(GetCursorX(), 0);
    EXPECT_EQ(GetMouseButtons(), 0u);
}

TEST_F(Input, SeekKeysWorkBeforeTheControlsExist) {
    StartInput();
    headless.AddMouseMotion(5, 5);
    ProcessSeekKeys();
    EXPECT_EQ(GetCursorX(), 8);
    EXPECT_EQ(app.stepCount, 0);
    EXPECT_EQ(app.eventList.Size(), 0u);
}

} // namespace
