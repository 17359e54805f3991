// The built programs from the outside: vormika-replay's files and exit statuses, vormika's
// options, and vormika on a real (virtual) X display ended by a real Escape key.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/scratch_dir.h"
#include "support/xvfb_script.h"

namespace {

const std::string kBin = VORMIKA_BINARY_DIR;

class Binaries : public ScratchDirTest {};

TEST_F(Binaries, ReplayWritesStateAndAnRgbScreenshotRelativeToTheCurrentDirectory) {
    Write("s.txt", "key 2 down\nframes 2\nstate s.json\nscreenshot f.png\n");
    ASSERT_EQ(Shell("'" + kBin + "/vormika-replay' --frame-ms 40 s.txt"), 0) << err;
    const std::string json = Slurp(dir + "/s.json");
    EXPECT_NE(json.find("\"frames\": 2,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"stepCount\": 2,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"frameDelta\": 40\n"), std::string::npos) << json;

    const std::string png = Slurp(dir + "/f.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // IHDR: 1024 x 768, 8 bits, colour type 2 (RGB).
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x04\0\0\0\x03\0", 8));
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
}

TEST_F(Binaries, ReplayRefusesBadScriptsAndOptionsBeforeRunning) {
    Write("bad.txt", "state early.json\nframes 1\njump\n");
    EXPECT_EQ(Shell("'" + kBin + "/vormika-replay' bad.txt"), 2);
    EXPECT_EQ(err, "vormika-replay: bad.txt:3: unknown command 'jump'\n");
    EXPECT_FALSE(std::ifstream(dir + "/early.json").good());

    EXPECT_EQ(Shell("'" + kBin + "/vormika-replay' missing.txt"), 2);
    EXPECT_NE(err.find("vormika-replay: missing.txt: cannot read the script"), std::string::npos);
    EXPECT_EQ(Shell("'" + kBin + "/vormika-replay' --frame-ms x bad.txt"), 2);
    EXPECT_EQ(Shell("'" + kBin + "/vormika-replay'"), 2);

    // A file that cannot be written makes the status 1, the run goes on.
    Write("w.txt", "state no/such/dir.json\nframes 1\nstate ok.json\n");
    EXPECT_EQ(Shell("'" + kBin + "/vormika-replay' w.txt"), 1);
    EXPECT_NE(err.find("w.txt:1: cannot write no/such/dir.json"), std::string::npos) << err;
    EXPECT_TRUE(std::ifstream(dir + "/ok.json").good());
}

TEST_F(Binaries, DemoOptions) {
    EXPECT_EQ(Shell("'" + kBin + "/vormika' --help"), 0);
    for (const char* listed : {"Escape", "Q ", "--windowed", "--version", "left button"}) {
        EXPECT_NE(out.find(listed), std::string::npos) << listed;
    }
    EXPECT_EQ(Shell("'" + kBin + "/vormika' --version"), 0);
    EXPECT_EQ(out.rfind("vormika ", 0), 0u);
    EXPECT_EQ(Shell("'" + kBin + "/vormika' --windowed --fullscreen"), 2);
    EXPECT_EQ(err, "vormika: unknown option '--fullscreen' (try --help)\n");
    EXPECT_EQ(Shell("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER '" + kBin +
                    "/vormika' --windowed"),
              1);
    EXPECT_NE(err.find("vormika: cannot open a display: "), std::string::npos) << err;
}

// After the private Xvfb is up: runs the demo in a window, focuses it and holds Escape with real
// X input; prints the demo's exit status, or "still running".
constexpr const char* kSmoke = R"sh(
# The system libraries behind SDL (D-Bus, the GL driver) keep allocations until exit, which
# a leak-checking build would report as the demo's.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$1" --windowed >demo.out 2>demo.err &
demo=$!
win=$(timeout 10 xdotool search --sync --name '^VORMIKA$' | head -n1)
for attempt in 1 2 3; do
  timeout 5 xdotool windowfocus --sync "$win"
  xdotool keydown Escape; sleep 0.3; xdotool keyup Escape
  for i in $(seq 20); do kill -0 $demo 2>/dev/null || break; sleep 0.1; done
  kill -0 $demo 2>/dev/null || break
done
if kill -0 $demo 2>/dev/null; then kill $demo; echo "still running"; exit 0; fi
wait $demo
echo "exit $?"
)sh";

TEST_F(Binaries, DemoStartsOnAnXDisplayAndEndsOnEscape) {
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    }
    Write("smoke.sh", std::string(kStartPrivateXvfb) + kSmoke);
    ASSERT_EQ(Shell("bash smoke.sh '" + kBin + "/vormika'"), 0) << err;
    EXPECT_EQ(out, "exit 0\n") << Slurp(dir + "/demo.err") << Slurp(dir + "/xvfb.log");
}

} // namespace
