// Shutdown: a whole run gives back all it made. In process, every resource field is empty
// after WinMain; from outside, valgrind finds no leak and no bad access in vormika-replay.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "replay/engine.h"
#include "replay/script.h"
#include "state/app_state.h"

namespace {

// A few frames, a spin, a click on SPIN DISC and a few seek steps.
constexpr const char* kShortSession =
    "frames 2\nkey Q down\nframes 1\nkey Q up\npointer 900 150\nbutton 0 down\nframes 1\n"
    "button 0 up\nkey 2 down\nframes 2\n";

TEST(Shutdown, WinMainLeavesNoResourceBehind) {
    replay::Script script;
    std::string error;
    ASSERT_TRUE(replay::ParseScript("short", kShortSession, script, error)) << error;
    replay::Options options;
    replay::Run(script, options);
    ASSERT_TRUE(replay::ProgramExited());
    const void* left[] = {app.uiFont,         app.rootPanel,      app.spinButton,
                          app.showBestOption, app.overlayVertices, app.overlayVertexBuffer,
                          app.ringVertices,   app.ringVertexBuffer, app.discTexture,
                          app.device,         app.direct3d,        app.directInput,
                          app.keyboardDevice, app.mouseDevice,     app.windowHandle};
    for (std::size_t i = 0; i < std::size(left); ++i) {
        EXPECT_EQ(left[i], nullptr) << "resource " << i << " is still held";
    }
}

TEST(Shutdown, ValgrindFindsNoLeakAndNoBadAccess) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "valgrind cannot run a program built with AddressSanitizer";
#endif
    if (std::system("command -v valgrind >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "valgrind is not installed";
    }
    char dir[] = "/tmp/vormika-valgrind-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string base = dir;
    std::ofstream(base + "/short.txt") << kShortSession << "state state.json\n";
    const std::string command =
        "cd '" + base + "' && valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect "
        "--show-leak-kinds=definite,indirect --error-exitcode=1 '" VORMIKA_BINARY_DIR
        "/vormika-replay' short.txt >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    std::stringstream err;
    err << std::ifstream(base + "/err.txt").rdbuf();
    const std::string report = err.str();
    std::system(("rm -rf '" + base + "'").c_str());

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << report;
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    // The leak summary is left out when every block was freed.
    for (const char* kind : {"definitely lost: ", "indirectly lost: "}) {
        const std::size_t at = report.find(kind);
        EXPECT_TRUE(at == std::string::npos || report.compare(at + std::strlen(kind), 2, "0 ") == 0)
            << report;
    }
}

} // namespace
