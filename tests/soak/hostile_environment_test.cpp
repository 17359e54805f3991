// The built programs in an unfriendly environment: a window nobody can see, and a system
// without a single usable font. Each must go on without a crash and say what is wrong once.
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

class Environment : public ScratchDirTest {};

// Counts the lines of `text` that contain `part`.
int LinesWith(const std::string& text, const std::string& part) {
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        count += line.find(part) != std::string::npos ? 1 : 0;
    }
    return count;
}

// After the private Xvfb is up: starts the demo in a window; prints the processor time (in clock
// ticks) the demo used over two seconds shown, two seconds unmapped, two seconds shown again.
constexpr const char* kHiddenWindow = R"sh(
unset SDL_VIDEODRIVER WAYLAND_DISPLAY
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$1" --windowed >demo.out 2>demo.err &
demo=$!
win=$(timeout 60 xdotool search --sync --name '^VORMIKA$' | head -n1)
[ -n "$win" ] || { echo "no window"; kill $demo; exit 1; }
sleep 1
ticks() { awk '{print $14 + $15}' /proc/$demo/stat; }
a=$(ticks); sleep 2; b=$(ticks)
xdotool windowunmap --sync "$win"; sleep 0.5
c=$(ticks); sleep 2; d=$(ticks)
xdotool windowmap --sync "$win"; sleep 0.5
e=$(ticks); sleep 2; f=$(ticks)
kill -0 $demo 2>/dev/null || { echo "demo ended"; exit 1; }
kill $demo; wait $demo 2>/dev/null
echo "$((b - a)) $((d - c)) $((f - e))"
)sh";

TEST_F(Environment, HiddenWindowLeavesTheProcessorAlone) {
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    }
    Write("hidden.sh", std::string(kStartPrivateXvfb) + kHiddenWindow);
    ASSERT_EQ(Shell("bash hidden.sh '" + kBin + "/vormika'"), 0) << out << err << Read("demo.err");
    long shown = -1, hidden = -1, shownAgain = -1;
    std::istringstream(out) >> shown >> hidden >> shownAgain;
    ASSERT_GT(shown, 0) << out;
    // Drawing takes most of a shown frame; a hidden one only waits.
    EXPECT_LT(hidden * 2, shown) << "ticks shown, hidden, shown again: " << out;
    EXPECT_LT(hidden * 2, shownAgain) << "ticks shown, hidden, shown again: " << out;
}

TEST_F(Environment, NoFontAtAllIsSaidOnceAndTheProgramRuns) {
    Write("empty.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    Write("s.txt", "frames 2\nkey Q down\nframes 1\nstate s.json\n");
    const std::string env = "FONTCONFIG_FILE='" + dir + "/empty.conf' XDG_CACHE_HOME='" + dir + "'";
    ASSERT_EQ(Shell(env + " '" + kBin + "/vormika-replay' s.txt"), 0) << err;
    EXPECT_NE(Read("s.json").find("\"frames\": 3,"), std::string::npos);
    EXPECT_EQ(LinesWith(err, "vormika:"), 1) << err;
    EXPECT_EQ(LinesWith(err, "font"), 1) << err;
}

} // namespace
