// vormika on Linux: reads its own options, installs the SDL2 host and runs the program.
#include <cstdio>
#include <cstring>

#include "platform/host/sdl2.h"
#include "platform/win32.h"

namespace {

constexpr const char* kUsage =
    "usage: vormika [--windowed] [--help] [--version]\n"
    "\n"
    "An interactive demonstration of a ring puzzle: four rings of eight positions each,\n"
    "and three ways of seeking the fewest turns that line them up.\n"
    "\n"
    "Options:\n"
    "  --windowed    a 1024x768 window instead of the full screen\n"
    "  --help        this text\n"
    "  --version     the program's version\n"
    "\n"
    "Keys (each acts in every frame in which it is held down):\n"
    "  Escape        end the program\n"
    "  1             (re)start the seek\n"
    "  2             jump by 1 seek step\n"
    "  3             jump by 7 seek steps\n"
    "  4             jump to the last seek step\n"
    "  Q             spin the discs (restarts the seek)\n"
    "\n"
    "Mouse:\n"
    "  move          moves the program's own cursor (1.6 pixels per count)\n"
    "  left button   clicks the control under the cursor as it goes down\n"
    "\n"
    "Buttons:\n"
    "  SPIN DISC                  (under the small view) new random start position,\n"
    "                             restarts the seek\n"
    "  and in the row under the main view, from the left:\n"
    "  bar and two left arrows    restart the seek\n"
    "  one right arrow            play: one seek step per frame while held\n"
    "  right arrow and bar        one seek step\n"
    "  two right arrows           fast play: eight seek steps per frame while held\n"
    "  two right arrows and bar   ten seek steps (the narrow one)\n"
    "  two right arrows and bar   the whole seek, to its end (the wide one, last in the row)\n"
    "\n"
    "Option buttons (one of each group is checked):\n"
    "  DEEP SEARCH          seek by counting, ring 0's turn changing fastest\n"
    "  BREADTH SEARCH       seek by counting, ring 3's turn changing fastest\n"
    "  A-STAR SEARCH        seek move sets by number of moves: cheap solutions early,\n"
    "                       but not always the cheapest, and for some starts none\n"
    "  SHOW START           the main view shows the start position\n"
    "  SHOW CURRENT SEEK    the main view shows the position of the last seek step\n"
    "  SHOW BEST FOUND      the main view shows the best position found\n"
    "\n"
    "Exit status: 0 when ended by Escape or by closing the window, 1 when no display or\n"
    "window can be had, 2 for an unknown option.\n";

} // namespace

int main(int argc, char** argv) {
    bool windowed = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--windowed") == 0) {
            windowed = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vormika %s\n", VORMIKA_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "vormika: unknown option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }

    host::SdlHost sdl(windowed);
    if (!sdl.Init()) {
        return 1;
    }
    host::Install(&sdl);
    char commandLine[] = "";
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, 10);
    host::Install(nullptr);
    return result;
}
