// The control panel driven through the whole program: the mouse picks A-STAR SEARCH, holds
// the fast-play button, runs the seek to its end and shows the best position found.
#include <sstream>

#include "replay/replay_fixture.h"
#include "seek/seek.h"

namespace {

RingSet ParseRings(const std::string& text) {
    RingSet rings = {};
    std::istringstream in(text);
    char skip = 0;
    in >> skip;
    for (std::uint32_t& ring : rings) {
        in >> ring >> skip;
    }
    return rings;
}

constexpr const char* kScript =
    "frames 1\n"
    "pointer 900 150\nbutton 0 down\nframes 1\nbutton 0 up\nframes 1\n"   // SPIN DISC
    "state spun\n"
    "pointer 700 70\nbutton 0 down\nframes 1\nbutton 0 up\nframes 1\n"    // A-STAR SEARCH
    "state method\n"
    "pointer 325 415\nbutton 0 down\nframes 11\nbutton 0 up\nframes 1\n"  // fast play, held
    "state played\n"
    "frames 3\n"
    "state idle\n"
    "pointer 450 415\nbutton 0 down\nframes 1\nbutton 0 up\nframes 1\n"   // to the end
    "state ended\n"
    "pointer 700 175\nbutton 0 down\nframes 1\nbutton 0 up\nframes 1\n"   // SHOW BEST FOUND
    "state best\n";

TEST(PanelReplay, AStarSeekPlayedEndedAndShownAtItsBest) {
    const Replayed r = Replay(kScript, 1234);
    ASSERT_EQ(r.outcome.exitCode, 0) << r.log;

    // The spin button does not reach under the view options.
    EXPECT_EQ(r.Field("spun", "cursor"), "[900, 150]");
    EXPECT_EQ(r.Number("spun", "viewSelection"), 2);
    EXPECT_EQ(r.Number("spun", "stepCount"), 0);

    EXPECT_EQ(r.Number("method", "seekMethod"), 3);
    EXPECT_EQ(r.Number("method", "stepCount"), 0);

    // Eleven frames held and the release frame: no step in the first two, eight in each
    // of the other ten.
    EXPECT_EQ(r.Number("played", "stepCount"), 80);
    EXPECT_EQ(r.Number("idle", "stepCount"), 80);

    EXPECT_EQ(r.Number("ended", "stepCount"), 4096);
    EXPECT_EQ(r.Number("ended", "viewSelection"), 2);
    EXPECT_EQ(r.Number("best", "viewSelection"), 3);
    EXPECT_EQ(r.Number("best", "seekMethod"), 3);

    // The same start sought by A-STAR outside the program finds the same best. The
    // program's record is kept aside, so what it made stays reachable.
    const std::string start = r.Field("best", "startRings");
    EXPECT_EQ(start, r.Field("spun", "startRings"));
    const AppState program = app;
    app.startRings = ParseRings(start);
    app.seekMethod = AStar;
    ResetSeek();
    StepSeek(4096);
    EXPECT_EQ(r.Number("best", "bestCost"), app.bestCost);
    EXPECT_EQ(r.Number("best", "foundAfter"), app.foundAfter);
    EXPECT_EQ(r.Number("best", "bestVector"), app.bestVector);
    app = program;
}

} // namespace
