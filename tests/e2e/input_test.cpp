// vormika driven by real X input: relative mouse motion moves its own cursor, a click checks
// an option, keys 2 and 4 step the seek along the tree, Q spins the rings.
#include <cmath>

#include "demo_fixture.h"

namespace e2e {
namespace {

// The program moves its cursor 1.6 pixels per count of relative motion.
constexpr double kPixelsPerCount = 1.6;

// Where the cursor sits on the black ground right of the tree, away from everything drawn.
constexpr Point kOpenGround{640, 600};

class CursorOnX : public DemoOnX {
protected:
    // Sends relative motion and finds the cursor where it came to rest. Motion that arrives
    // before the program has taken the pointer is dropped, so a move nothing came of is sent
    // once more. The first wait is long: on a loaded machine motion can take seconds to
    // show, and sending it again then would move the cursor twice.
    std::optional<Point> Move(int dx, int dy) {
        const Shot before = desktop.Grab();
        for (int attempt = 0; attempt < 2; ++attempt) {
            desktop.Xdo("mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy));
            std::optional<Point> found;
            if (WaitFor([&](const Shot& s) { return (found = FindCursor(s, before)).has_value(); },
                        attempt == 0 ? 8000 : 3000)) {
                // The motion may reach the program in parts, so the first place the cursor
                // shows may be on the way; it has come to rest once it stays put a few frames.
                for (int look = 0; look < 20 && WaitForFrames(3, 2000); ++look) {
                    const std::optional<Point> now = FindCursor(last, before);
                    if (!now || *now == *found) {
                        break;
                    }
                    found = now;
                }
                cursor = *found;
                return found;
            }
        }
        return std::nullopt;
    }

    // Moves the cursor onto `target`, correcting by what it sees; the place it reached.
    std::optional<Point> Steer(Point target) {
        for (int attempt = 0; attempt < 3 && !(cursor == target); ++attempt) {
            const int dx = static_cast<int>(std::lround((target.x - cursor.x) / kPixelsPerCount));
            const int dy = static_cast<int>(std::lround((target.y - cursor.y) / kPixelsPerCount));
            if (!Move(dx, dy)) {
                return std::nullopt;
            }
        }
        return cursor;
    }

    // Presses and releases the primary button, each seen by the program (the cursor is solid
    // while a button is down) before the next.
    void Click() {
        desktop.Xdo("mousedown 1");
        EXPECT_TRUE(WaitFor([&](const Shot& s) { return CursorIsSolid(s, cursor); }, 5000));
        desktop.Xdo("mouseup 1");
        EXPECT_TRUE(WaitFor([&](const Shot& s) { return !CursorIsSolid(s, cursor); }, 5000));
    }

    Point cursor{0, 0};  // the program's cursor starts at the top-left corner
};

constexpr const char* kNoRelativeMotion =
    "relative motion from XTest did not reach the program on this X server (SDL's relative "
    "mode may read raw XInput2 events that this server does not make from XTest input)";

TEST_F(CursorOnX, RelativeMotionMovesTheProgramsOwnCursorAndAButtonFillsIt) {
    const std::optional<Point> first = Move(400, 375);
    if (!first) {
        GTEST_SKIP() << kNoRelativeMotion;
    }
    EXPECT_EQ(*first, kOpenGround);
    EXPECT_FALSE(CursorIsSolid(last, *first));

    const std::optional<Point> second = Move(50, -25);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(*second, (Point{first->x + 80, first->y - 40}));

    desktop.Xdo("mousedown 1");
    EXPECT_TRUE(WaitFor([&](const Shot& s) { return CursorIsSolid(s, *second); }, 5000));
    desktop.Xdo("mouseup 1");
    EXPECT_TRUE(WaitFor([&](const Shot& s) { return !CursorIsSolid(s, *second); }, 5000));
}

TEST_F(CursorOnX, AClickOnAStarSearchChecksItAndUnchecksDeepSearch) {
    ASSERT_EQ(OptionMark(last, kAStarRow), Mark::Unchecked);
    // Onto the centre of the option's box.
    const std::optional<Point> at = Steer(Point{616, 70});
    if (!at) {
        GTEST_SKIP() << kNoRelativeMotion;
    }
    ASSERT_TRUE(at->x >= 610 && at->x < 819 && at->y >= kAStarRow && at->y < kAStarRow + 20)
        << "cursor at " << at->x << "," << at->y;
    Click();
    // Off the option rows again, so that the cursor hides no part of the boxes.
    ASSERT_TRUE(Steer(kOpenGround).has_value());
    EXPECT_TRUE(WaitFor(
        [](const Shot& s) {
            return OptionMark(s, kAStarRow) == Mark::Checked &&
                   OptionMark(s, kDeepRow) == Mark::Unchecked;
        },
        5000));
}

using Turns = std::array<int, 4>;

bool WholePath(const Turns& turns) {
    for (int t : turns) {
        if (t < 0) {
            return false;
        }
    }
    return true;
}

TEST_F(DemoOnX, KeysTwoAndFourStepTheSeekAlongTheTreeAndQSpinsTheRings) {
    ASSERT_TRUE(WaitFor([](const Shot& s) { return WhitePath(s) == Turns{0, 0, 0, 0}; }, 5000));

    // Key 2 steps once per frame while held: the white path leaves the first column.
    desktop.Xdo("keydown 2");
    const bool moved = WaitFor(
        [](const Shot& s) {
            const Turns path = WhitePath(s);
            return WholePath(path) && path != Turns{0, 0, 0, 0};
        },
        5000);
    desktop.Xdo("keyup 2");
    EXPECT_TRUE(moved);

    // Key 4 runs the seek to its end: the last vector of the deep order turns every ring 7.
    desktop.Xdo("keydown 4");
    EXPECT_TRUE(WaitFor([](const Shot& s) { return WhitePath(s) == Turns{7, 7, 7, 7}; }, 5000));
    desktop.Xdo("keyup 4");

    // The inset's colours stay put while only the light moves... The light turns with the
    // clock, not the frame count, so the frames compared are close together: on a loaded
    // machine twenty frames can take a second or two, and a radian of light moves enough
    // points across the dark end of the hue test to look like a spin.
    const Shot unspun = desktop.Grab();
    ASSERT_TRUE(WaitForFrames(2, 10000));
    const double resting = InsetHueChange(unspun, last);
    EXPECT_LT(resting, 0.05);

    // ...and Q restarts the seek and spins the rings, which turns the inset's sectors. A
    // spin that happens to leave the outer rings where they were is tried again.
    double spun = 0;
    for (int attempt = 0; attempt < 3 && spun < 0.2; ++attempt) {
        desktop.Xdo("keydown q");
        EXPECT_TRUE(
            WaitFor([](const Shot& s) { return WhitePath(s) == Turns{0, 0, 0, 0}; }, 5000));
        desktop.Xdo("keyup q");
        ASSERT_TRUE(WaitForFrames(2, 10000));
        spun = InsetHueChange(unspun, last);
    }
    EXPECT_GE(spun, 0.2) << "resting " << resting;
}

} // namespace
} // namespace e2e
