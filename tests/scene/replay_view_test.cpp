// The two 3D views in whole-program runs: which positions each view shows, read back from
// the sector colours of the presented frame.
#if __has_include("replay/engine.h")

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gfxutil/d3dx8.h"
#include "replay/engine.h"
#include "replay/script.h"
#include "state/app_state.h"

namespace {

struct Replayed {
    std::vector<std::uint32_t> frame;  // the last screenshot
    RingSet startRings = {};           // as the program held them at that screenshot
    std::int32_t viewSelection = 0;
};

Replayed Replay(const std::string& text) {
    Replayed run;
    replay::Script script;
    std::string error;
    EXPECT_TRUE(replay::ParseScript("scene.txt", text, script, error)) << error;
    replay::Options options;
    options.stateSink = [](const replay::Command&, const std::string&) { return true; };
    options.screenshotSink = [&](const replay::Command&, const std::uint32_t* pixels) {
        run.frame.assign(pixels, pixels + 1024 * 768);
        run.startRings = app.startRings;
        run.viewSelection = app.viewSelection;
        return true;
    };
    options.log = std::tmpfile();
    replay::Run(script, options);
    std::fclose(options.log);
    return run;
}

// Sector colours reduced to which channels carry them (0 none, 1 half, 2 full of the
// strongest): lighting scales a colour but keeps these. The two greens share one class.
int ColourClass(std::uint32_t argb) {
    const int c[3] = {int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF)};
    const int top = std::max({c[0], c[1], c[2]});
    if (top < 0x30) return -1;
    int cls = 0;
    for (int v : c) cls = cls * 3 + (4 * v < top ? 0 : 4 * v < 3 * top ? 1 : 2);
    return cls;
}

// The class most of the 3 x 3 pixels around `px` show, so that a stripe of the tile that
// the point lands beside does not decide.
int MostCommonClass(const std::vector<std::uint32_t>& frame, POINT px) {
    std::map<int, int> votes;
    for (LONG y = px.y - 1; y <= px.y + 1; ++y)
        for (LONG x = px.x - 1; x <= px.x + 1; ++x) ++votes[ColourClass(frame[std::size_t(y) * 1024 + std::size_t(x)])];
    int best = -1, count = 0;
    for (const auto& [cls, n] : votes)
        if (n > count) best = cls, count = n;
    return best;
}

// The pixel of a viewport where the top of ring `ring` lies at world angle `alpha`, seen by
// the camera of the run's first frames.
POINT Project(const D3DVIEWPORT8& vp, int ring, float alpha) {
    const D3DXVECTOR3 eye = {-0.0783f, 1.7008f, -1.75f}, at = {0, 0, 0},
                      up = {-0.0292f, 0.9996f, 0};
    D3DXMATRIX view, proj;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, 0.78539819f, 1.0f, 1.0f, 100.0f);
    const float r = app.ringRadius[ring];
    const float p[4] = {r * std::cos(alpha), 0.04f, -r * std::sin(alpha), 1.0f};
    float v[4] = {}, c[4] = {};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) v[j] += p[i] * view.m[i][j];
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) c[j] += v[i] * proj.m[i][j];
    return {LONG(std::lround(vp.X + (1.0f + c[0] / c[3]) * 0.5f * vp.Width - 0.5f)),
            LONG(std::lround(vp.Y + (1.0f - c[1] / c[3]) * 0.5f * vp.Height - 0.5f))};
}

// Checks that every ring of a view shows, at a point well inside each sector (clear of the
// tile's stripes and of the overlay's captions, diagram and edge glow), the sector that the
// ring's position puts there: where sector s lies at rest, sector s - position shows.
void ExpectViewShows(const Replayed& run, const D3DVIEWPORT8& vp, const RingSet& rings,
                     const char* what) {
    int checked = 0;
    for (int ring = 0; ring < 4; ++ring) {
        for (std::uint32_t s = 0; s < 8; ++s) {
            // 0.4355 of a sector is the middle of a ground gap between two stripes of the tile.
            const POINT px = Project(vp, ring, 0.785f * (float(s) + 0.4355f));
            const bool main = vp.X == 0;
            if (px.y < LONG(vp.Y) + (main ? 50 : 30) || px.y > LONG(vp.Y + vp.Height) - 40 ||
                px.x < LONG(vp.X) + 40 || px.x > LONG(vp.X + vp.Width) - 40 ||
                (main && px.x < 210 && px.y < 210)) {
                continue;
            }
            const std::uint32_t sector = (s + 8 - rings[std::size_t(ring)]) % 8;
            EXPECT_EQ(MostCommonClass(run.frame, px), ColourClass(app.sectorColour[sector]))
                << what << ": ring " << ring << " sector place " << s << " at (" << px.x << ", "
                << px.y << ")";
            ++checked;
        }
    }
    EXPECT_GT(checked, 16) << what;
}

const char* const kSpin = "frames 2\nkey Q down\nframes 1\nkey Q up\nframes 1\n";

TEST(ReplayViews, InsetShowsTheStartAndTheMainViewFollowsTheSelection) {
    const struct {
        const char* click;  // the view option chosen after the spin, if any
        std::int32_t selection;
    } cases[] = {{"", 2}, {"pointer 640 135\n", 1}, {"pointer 640 175\n", 3}};
    for (const auto& c : cases) {
        const Replayed run = Replay(std::string(kSpin) + c.click +
                               "button 0 down\nframes 1\nbutton 0 up\nframes 1\nscreenshot a.png\n");
        ASSERT_EQ(run.frame.size(), 1024u * 768u);
        ASSERT_EQ(run.viewSelection, c.selection);
        ASSERT_NE(run.startRings, (RingSet{0, 0, 0, 0})) << "the spin left every ring at 0";
        // Before any seek step the current position is the start and the best is all zero.
        const RingSet shown = c.selection == 3 ? RingSet{0, 0, 0, 0} : run.startRings;
        ExpectViewShows(run, app.insetViewport, run.startRings, "inset");
        ExpectViewShows(run, app.mainViewport, shown, "main view");
    }
}

} // namespace

#endif
