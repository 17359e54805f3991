// Input no person would give: floods of key events, motion of any size, and clocks that
// jump; the program must keep running and still end when asked.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/shell.h"
#include "platform/dinput8.h"
#include "replay/engine.h"
#include "replay/script.h"
#include "state/app_state.h"

namespace {

struct Ended {
    bool exited = false;
    std::uint32_t frames = 0;
    bool watchdog = false; // the run had to be ended by Escape
};

// Runs a script; a program still running after `limit` frames is ended with Escape, which
// any message then waiting makes it see.
Ended RunWithWatchdog(const std::string& text, std::uint32_t limit) {
    Ended ended;
    replay::Script script;
    std::string error;
    if (!replay::ParseScript("hostile", text, script, error)) {
        ADD_FAILURE() << error;
        return ended;
    }
    replay::Options options;
    std::FILE* quiet = std::tmpfile();
    options.log = quiet != nullptr ? quiet : stderr;
    options.afterFrame = [&] {
        if (replay::Host().FramesPresented() >= limit && !ended.watchdog) {
            ended.watchdog = true;
            replay::Host().SetKey(DIK_ESCAPE, true);
            replay::Host().SetKey(DIK_SPACE, true);
        }
    };
    replay::Run(script, options);
    if (quiet != nullptr) {
        std::fclose(quiet);
    }
    ended.exited = replay::ProgramExited();
    ended.frames = replay::Host().FramesPresented();
    return ended;
}

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

TEST(HostileInput, CloseRequestIsNotLostBehindAFloodOfKeyEvents) {
    struct Case {
        const char* what;
        std::string script;
    };
    const Case cases[] = {
        // The host's own queue is full when the end of the script asks to close.
        {"host queue full", "frames 1\n" + Repeat("key 2 down\nkey 2 up\n", 40)},
        // The window's message queue is full, and two key events a frame keep it so.
        {"window queue full", Repeat("key A down\nkey A up\nframes 1\n", 70) +
                                  "key A down\nkey A up\nclose\n" +
                                  Repeat("key A down\nkey A up\nframes 1\n", 350)},
    };
    for (const Case& c : cases) {
        const Ended ended = RunWithWatchdog(c.script, 400);
        EXPECT_TRUE(ended.exited) << c.what;
        EXPECT_FALSE(ended.watchdog) << c.what << ": the close request was lost";
        EXPECT_LT(ended.frames, 200u) << c.what;
    }
}

TEST(HostileInput, MotionOfAnySizeKeepsItsDirectionAndTheCursorOnTheScreen) {
    struct Case {
        const char* script;
        std::int32_t x;
        std::int32_t y;
    };
    const Case cases[] = {
        // Two reports of the largest counts between polls pile up past 32 bits.
        {"mouse 2147483647 -2147483648\nmouse 2147483647 -2147483648\nframes 1\n", 1023, 0},
        {"mouse 600 700\nframes 1\nmouse -2147483648 2147483647\nmouse -1 1\nframes 1\n", 0, 767},
        {"mouse 100 100\nframes 1\nmouse 2147483647 2147483647\nmouse -2147483648 -2147483648\n"
         "frames 1\n", 158, 158},
    };
    for (const Case& c : cases) {
        replay::Script script;
        std::string error;
        ASSERT_TRUE(replay::ParseScript("motion", c.script, script, error)) << error;
        replay::Options options;
        std::FILE* quiet = std::tmpfile();
        options.log = quiet != nullptr ? quiet : stderr;
        std::int32_t x = -1;
        std::int32_t y = -1;
        options.afterFrame = [&] {
            x = GetCursorX();
            y = GetCursorY();
        };
        replay::Run(script, options);
        if (quiet != nullptr) {
            std::fclose(quiet);
        }
        EXPECT_EQ(x, c.x) << c.script;
        EXPECT_EQ(y, c.y) << c.script;
    }
}

} // namespace
