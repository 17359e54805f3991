// The whole program under replay scripts: frame timing and the fps count, the keys of the
// seek, Escape and close requests ending the loop, the cursor, clicks, and what happens
// after the program has ended.
#include <algorithm>

#include "replay_fixture.h"

namespace {

// The start position a spin gives, drawn from the Windows generator seeded with `seed`,
// skipping `spinsBefore` earlier spins.
std::string Spin(std::uint32_t seed, int spinsBefore) {
    std::uint32_t state = seed;
    auto next = [&state] {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFFu;
    };
    for (int i = 0; i < spinsBefore * 4; ++i) {
        next();
    }
    std::string rings = "[";
    for (int i = 0; i < 4; ++i) {
        rings += (i == 0 ? "" : ", ") + std::to_string(next() % 8);
    }
    return rings + "]";
}

TEST(FrameTiming, FirstPassSeesOneFrameOfTimeAndRenderSeesThePassTick) {
    Replayed r = Replay("frames 1\nstate a\n");
    EXPECT_EQ(r.Number("a", "frameDelta"), 16);
    EXPECT_EQ(r.Number("a", "frames"), 1);
    EXPECT_EQ(r.Number("a", "fps"), 0);

    r = Replay("frames 1\nstate a\n", 0, 40);
    EXPECT_EQ(r.Number("a", "frameDelta"), 40);

    // A frame drawn in a pass that began at tick 1000 looks like one drawn with the clock
    // standing at 1000 throughout (the main view only: the panel shows the frame time).
    auto mainView = [](const Replayed& run) {
        std::vector<std::uint32_t> view;
        const std::vector<std::uint32_t>& frame = run.frames.at("f");
        for (int y = 0; y < 400; ++y) {
            view.insert(view.end(), frame.begin() + y * 1024, frame.begin() + y * 1024 + 600);
        }
        return view;
    };
    const Replayed advanced = Replay("frames 1\nscreenshot f\n", 0, 1000);
    const Replayed standing = Replay("frames 1\nscreenshot f\n", 1000, 0);
    const Replayed later = Replay("frames 1\nscreenshot f\n", 4000, 0);
    EXPECT_EQ(mainView(advanced), mainView(standing));
    EXPECT_NE(mainView(advanced), mainView(later)); // the light does move with the clock
}

TEST(FrameTiming, FpsCountsEveryFrameOfAPeriodAndSurvivesTheClockWrap) {
    struct Case {
        const char* script;
        std::uint32_t tick0;
        std::uint32_t frameMs;
        long long fps;
        long long frameDelta;
    };
    const Case cases[] = {
        // Nothing during the first second, then all 10 frames of a period of 1340 ms.
        {"frames 9\nstate a\n", 0, 100, 0, 100},
        {"frames 9\ntick 1240\nframes 1\nstate a\n", 0, 100, 10, 440},
        // Exactly 1000 ms does not end the period; the next frame does.
        {"frames 1\nstate a\n", 0, 1000, 0, 1000},
        {"frames 2\nstate a\n", 0, 1000, 2, 1000},
        // The period's end wraps past 2^32: it ends in the next pass.
        {"frames 1\nstate a\n", 4294967000u, 16, 1, 16},
        // Frame time and the period across the wrap of the clock itself.
        {"frames 10\nstate a\n", 4294967246u, 100, 0, 100},
        {"frames 11\nstate a\n", 4294967246u, 100, 11, 100},
    };
    for (const Case& c : cases) {
        const Replayed r = Replay(c.script, c.tick0, c.frameMs);
        EXPECT_EQ(r.Number("a", "fps"), c.fps) << c.script << " from " << c.tick0;
        EXPECT_EQ(r.Number("a", "frameDelta"), c.frameDelta) << c.script << " from " << c.tick0;
    }
}

TEST(SeekKeys, HeldKeysActInEveryFrameInTheirOrder) {
    struct Case {
        const char* script;
        long long stepCount;
        long long bestCost;
    };
    const Case cases[] = {
        {"key 4 down\nframes 1\nstate a\n", 4095, -1},
        {"key 4 down\nframes 2\nstate a\n", 4096, -1},
        {"key 2 down\nframes 3\nstate a\n", 3, -1},
        {"key 3 down\nframes 2\nstate a\n", 14, -1},
        {"key 2 down\nframes 3\nkey 2 up\nframes 2\nstate a\n", 3, -1},
        // Reset then one step, in one frame.
        {"key 3 down\nframes 1\nkey 3 up\nkey 1 down\nkey 2 down\nframes 1\nstate a\n", 1, -1},
        // Key 1 held keeps the seek reset.
        {"key 2 down\nkey 1 down\nframes 4\nkey 2 up\nframes 1\nstate a\n", 0, 255},
        // No key: nothing happens to the seek.
        {"frames 5\nstate a\n", 0, 255},
    };
    for (const Case& c : cases) {
        const Replayed r = Replay(c.script);
        EXPECT_EQ(r.Number("a", "stepCount"), c.stepCount) << c.script;
        if (c.bestCost >= 0) {
            EXPECT_EQ(r.Number("a", "bestCost"), c.bestCost) << c.script;
        }
    }
}

TEST(SeekKeys, SpinIsDrawnFromTheGeneratorSeededWithTheStartTick) {
    const std::uint32_t tick0 = 123456;
    Replayed r = Replay("key Q down\nframes 1\nstate a\n", tick0);
    EXPECT_EQ(r.Field("a", "startRings"), Spin(tick0, 0));
    EXPECT_EQ(r.Field("a", "currentRings"), Spin(tick0, 0));

    // Held for three frames it respins in each; the last spin stays.
    r = Replay("key Q down\nframes 3\nkey Q up\nframes 2\nstate a\n", tick0);
    EXPECT_EQ(r.Field("a", "startRings"), Spin(tick0, 2));
    EXPECT_EQ(r.Number("a", "stepCount"), 0);
}

TEST(LoopExit, EscapeIsActedOnOnlyInAPassThatRetrievedAMessage) {
    const Replayed r = Replay(
        "key ESCAPE down\nframes 3\nstate held\n"
        // Q's key message makes the Escape test run; the pass ends before Q is polled.
        "key Q down\nframes 1\nstate after\n");
    EXPECT_EQ(r.Field("held", "exited"), "false");
    EXPECT_EQ(r.Number("held", "frames"), 3);
    EXPECT_EQ(r.Field("after", "exited"), "true");
    EXPECT_EQ(r.Field("after", "exitCode"), "0");
    EXPECT_EQ(r.Number("after", "frames"), 4);
    EXPECT_EQ(r.Field("after", "startRings"), "[0, 0, 0, 0]");
    EXPECT_EQ(r.outcome.exitCode, 0);
}

TEST(LoopExit, CloseRequestEndsTheLoopWhenTheQuitMessageIsRetrieved) {
    const Replayed r = Replay("close\nframes 1\nstate closing\nframes 1\nstate closed\n");
    // The first pass handles the close and draws; the second retrieves the quit message.
    EXPECT_EQ(r.Field("closing", "exited"), "false");
    EXPECT_EQ(r.Field("closed", "exited"), "true");
    EXPECT_EQ(r.Number("closed", "frames"), 2);
    EXPECT_EQ(r.outcome.exitCode, 0);
}

TEST(LoopExit, AfterTheEndFramesAndInputDoNothingButStateStillWrites) {
    const Replayed r = Replay(
        "key ESCAPE down\nframes 1\nkey ESCAPE up\nframes 5\nstate a\n"
        "key 4 down\nmouse 50 50\nframes 10\nstate b\nscreenshot f\n");
    EXPECT_EQ(r.Field("a", "exited"), "true");
    EXPECT_EQ(r.Number("a", "frames"), 2);
    EXPECT_EQ(r.Number("b", "frames"), 2);
    EXPECT_EQ(r.Number("b", "stepCount"), 0);
    EXPECT_EQ(r.Field("b", "cursor"), "[0, 0]");
    EXPECT_EQ(r.frames.count("f"), 1u);
}

TEST(LoopExit, ScriptEndClosesTheProgramAndEachRunStartsClean) {
    Replayed r = Replay("key 4 down\nmouse 100 100\nframes 2\n");
    EXPECT_EQ(r.outcome.exitCode, 0);
    EXPECT_TRUE(replay::ProgramExited());

    r = Replay("frames 1\nstate a\n");
    EXPECT_EQ(r.Number("a", "stepCount"), 0);
    EXPECT_EQ(r.Field("a", "cursor"), "[0, 0]");
    EXPECT_EQ(r.Number("a", "frames"), 1);
    EXPECT_EQ(r.Field("a", "exited"), "false");
}

TEST(Cursor, CountsMoveItBySpeedAndTheScreenHoldsIt) {
    const Replayed r = Replay(
        "state start\n"
        "mouse 5 1\nframes 1\nstate five\n"
        "mouse 1 0\nframes 1\nstate six\n"
        "mouse 10000 10000\nframes 1\nstate corner\n"
        "mouse -10000 0\nframes 1\nstate left\n"
        "button 0 down\nbutton 1 down\nbutton 2 down\nframes 1\nstate buttons\n");
    EXPECT_EQ(r.Field("start", "cursor"), "[0, 0]");
    EXPECT_EQ(r.Field("five", "cursor"), "[8, 1]");
    EXPECT_EQ(r.Field("six", "cursor"), "[9, 1]");
    EXPECT_EQ(r.Field("corner", "cursor"), "[1023, 767]");
    EXPECT_EQ(r.Field("left", "cursor"), "[0, 767]");
    EXPECT_EQ(r.Number("buttons", "mouseButtons"), 3);
}

TEST(Cursor, PointerLandsOnReachablePixelsAndSaysWhenItCannot) {
    const Replayed r = Replay("pointer 8 16\nframes 1\nstate a\npointer 900 150\nframes 1\nstate b\n"
                              "pointer 2 0\nframes 1\nstate c\n");
    EXPECT_EQ(r.Field("a", "cursor"), "[8, 16]");
    EXPECT_EQ(r.Field("b", "cursor"), "[900, 150]");
    // From x = 900.8 whole counts of 1.6 reach 0.8 or 2.4 but never pixel 2.
    const std::string c = r.Field("c", "cursor");
    EXPECT_TRUE(c == "[0, 0]" || c == "[3, 0]" || c == "[1, 0]") << c;
    EXPECT_NE(r.log.find("test.txt:7: no whole count reaches (2, 0)"), std::string::npos) << r.log;
}

TEST(Clicks, SpinButtonAndHeldFastPlayButtonDriveTheSeek) {
    const std::uint32_t tick0 = 777;
    const Replayed r = Replay(
        "pointer 900 150\nframes 1\n"
        "button 0 down\nframes 1\nstate spun\nbutton 0 up\nframes 1\n"
        // Fast play at (300..350, 400..430): the press frame posts the click, the next sets
        // the held state, and the seek steps from the frame after that.
        "pointer 325 415\nbutton 0 down\nframes 3\nstate held\n"
        "button 0 up\nframes 2\nstate released\n",
        tick0);
    EXPECT_EQ(r.Field("spun", "startRings"), Spin(tick0, 0));
    EXPECT_EQ(r.Number("spun", "stepCount"), 0);
    EXPECT_EQ(r.Number("held", "stepCount"), 8);
    // The release shows in the frame after it: one more jump of eight.
    EXPECT_EQ(r.Number("released", "stepCount"), 16);
}

} // namespace
