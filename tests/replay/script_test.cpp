// Reading replay scripts: what a good script becomes, every kind of bad line, and the
// cursor arithmetic behind `pointer`.
#include <gtest/gtest.h>

#include "replay/engine.h"
#include "replay/script.h"

namespace {

TEST(Script, GoodLinesBecomeCommands) {
    replay::Script script;
    std::string error;
    const std::string text =
        "# comment\n\n  frames 3   # trailing comment\r\n"
        "key escape down\nkey NUMPADENTER up\nmouse -5 +7\npointer 10 20\n"
        "button 1 down\ntick 4294967295\nclose\nscreenshot out.png\nstate out.json";
    ASSERT_TRUE(replay::ParseScript("s", text, script, error)) << error;
    ASSERT_EQ(script.commands.size(), 10u);
    EXPECT_EQ(script.commands[0].op, replay::Op::Frames);
    EXPECT_EQ(script.commands[0].a, 3);
    EXPECT_EQ(script.commands[0].line, 3);
    EXPECT_EQ(script.commands[1].a, 0x01);
    EXPECT_TRUE(script.commands[1].down);
    EXPECT_EQ(script.commands[2].a, 0x9C);
    EXPECT_FALSE(script.commands[2].down);
    EXPECT_EQ(script.commands[3].a, -5);
    EXPECT_EQ(script.commands[3].b, 7);
    EXPECT_EQ(script.commands[6].a, 4294967295LL);
    EXPECT_EQ(script.commands[7].op, replay::Op::Close);
    EXPECT_EQ(script.commands[9].path, "out.json");
    EXPECT_EQ(script.commands[9].line, 12);
}

TEST(Script, KeyNamesCoverTheCodesAndTheirAliases) {
    EXPECT_EQ(replay::KeyCode("1"), 0x02);
    EXPECT_EQ(replay::KeyCode("4"), 0x05);
    EXPECT_EQ(replay::KeyCode("Q"), 0x10);
    EXPECT_EQ(replay::KeyCode("BACKSPACE"), replay::KeyCode("BACK"));
    EXPECT_EQ(replay::KeyCode("PGDN"), 0xD1);
    EXPECT_EQ(replay::KeyCode("MEDIASELECT"), 0xED);
    EXPECT_EQ(replay::KeyCode("DIK_Q"), -1);
    EXPECT_EQ(replay::KeyCode(""), -1);
}

TEST(Script, BadLinesAreReportedWithTheirLineBeforeAnythingRuns) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"frames 1\njump 3\n", "test:2: unknown command 'jump'"},
        {"frames x\n", "test:1: bad number 'x'"},
        {"frames -1\n", "test:1: bad number '-1'"},
        {"frames 1.5\n", "test:1: bad number '1.5'"},
        {"tick 4294967296\n", "test:1: bad number '4294967296'"},
        {"mouse 1 2147483648\n", "test:1: bad number '2147483648'"},
        {"frames\n", "test:1: 'frames' takes a count"},
        {"frames 1 2\n", "test:1: 'frames' takes a count"},
        {"key Q\n", "test:1: 'key' takes a key name"},
        {"key NOPE down\n", "test:1: unknown key 'NOPE'"},
        {"key Q pressed\n", "test:1: expected 'down' or 'up', not 'pressed'"},
        {"button 4 down\n", "test:1: bad button '4'"},
        {"close now\n", "test:1: 'close' takes nothing"},
        {"state\n", "test:1: 'state' takes a file"},
        {"frames 1\n" + std::string(4097, 'x') + "\n", "test:2: line longer than 4096 characters"},
        {"# fine\n" + std::string("frames 1\0\n", 10), "test:2: binary data in the script"},
        {"frames 1\n\x01\x02\n", "test:2: binary data in the script"},
    };
    for (const Case& c : cases) {
        replay::Script script;
        std::string error;
        EXPECT_FALSE(replay::ParseScript("test", "state early.json\n" + c.text, script, error))
            << c.text;
        // One line was added in front.
        std::string expected = c.message;
        const std::size_t colon = expected.find(':');
        const int line = std::stoi(expected.substr(colon + 1)) + 1;
        expected = "vormika-replay: test:" + std::to_string(line) +
                   expected.substr(expected.find(':', colon + 1));
        EXPECT_EQ(error.substr(0, expected.size()), expected) << error;
    }
    // A line of exactly the limit is fine.
    replay::Script script;
    std::string error;
    EXPECT_TRUE(replay::ParseScript("test", "frames 1" + std::string(4088, ' ') + "\n", script, error))
        << error;
}

TEST(Script, UnreadableScriptIsReported) {
    replay::Script script;
    std::string error;
    EXPECT_FALSE(replay::LoadScript("/nonexistent/script.txt", script, error));
    EXPECT_EQ(error, "vormika-replay: /nonexistent/script.txt: cannot read the script: "
                     "No such file or directory");
    EXPECT_FALSE(replay::LoadScript("/", script, error));
}

TEST(Pointer, CountsLandTheTruncatedCursorOnThePixelWhereAWholeCountCan) {
    struct Case {
        float position;
        float speed;
        std::int32_t target;
        std::int32_t counts;
        std::int32_t landed;
    };
    const Case cases[] = {
        {0.0f, 1.6f, 8, 5, 8},
        {0.0f, 1.6f, 1, 1, 1},
        {0.0f, 1.6f, 1023, 640, 1023},   // 1024.0 is clamped onto the bound
        {1023.0f, 1.6f, 0, -639, 0},    // 0.6 truncates to 0
        {0.0f, 1.0f, 500, 500, 500},
        {0.0f, 1.6f, 2, 2, 3},           // unreachable: 1 and 3 miss alike; 3 is nearer the aim
        {10.0f, 1.6f, 10, 0, 10},
        {0.0f, 1.6f, -5, 0, 0},          // off screen: stays on the bound
    };
    for (const Case& c : cases) {
        std::int32_t landed = -1;
        const std::int32_t counts = replay::CountsToward(c.position, c.speed, c.target, 0, 1023, landed);
        EXPECT_EQ(landed, c.landed) << c.position << " -> " << c.target;
        if (c.landed == c.target) {
            EXPECT_EQ(counts, c.counts) << c.position << " -> " << c.target;
        }
    }
}

} // namespace
