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
    "Keys:\n"
    "  Escape        end the program\n"
    "  1             (re)start the seek\n"
    "  2             jump by 1 seek step (every frame while held)\n"
    "  3             jump by 7 seek steps (every frame while held)\n"
    "  4             jump to the last seek step\n"
    "  Q             spin the discs (restarts the seek)\n"
    "\n"
    "Mouse:\n"
    "  move          moves the program's own cursor (1.6 pixels per count)\n"
    "  left button   clicks a control as it goes down:\n"
    "                  SPIN DISC          new random start position\n"
    "                  the row under the main view: restart the seek, play (one step\n"
    "                  per frame while held), one step, fast play (eight steps per\n"
    "                  frame while held), ten steps, to the end\n"
    "                  DEEP / BREADTH / A-STAR SEARCH   the seek order\n"
    "                  SHOW START / CURRENT SEEK / BEST FOUND   what the main view shows\n"
    "\n"
    "Options:\n"
    "  --windowed    a 1024x768 window instead of the full screen\n"
    "  --help        this text\n"
    "  --version     the program's version\n";

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
