// vormika-replay: runs the program headless under a script of keys, mouse, clock and
// close requests, writing screenshots and state as the script asks.
#include <cstdio>
#include <cstring>
#include <string>

#include "replay/engine.h"
#include "replay/script.h"

namespace {

constexpr const char* kUsage =
    "usage: vormika-replay [--tick0 MS] [--frame-ms MS] SCRIPT\n"
    "\n"
    "Runs vormika with no display. The clock starts at --tick0 (default 0) and each frame\n"
    "advances it by --frame-ms (default 16). SCRIPT has one command per line ('#' starts a\n"
    "comment):\n"
    "  frames N                 run N frames with the inputs as they stand\n"
    "  key NAME down|up         a DirectInput key (ESCAPE, 1, Q, SPACE, ...)\n"
    "  mouse DX DY              relative mouse counts, taken at the next poll\n"
    "  pointer X Y              the counts that bring the cursor onto pixel (X, Y)\n"
    "  button N down|up         mouse button N (0 primary, 1 secondary)\n"
    "  tick MS                  set the clock (the next frame reads MS + frame-ms)\n"
    "  close                    a close request from the window manager\n"
    "  screenshot FILE.png      the frame presented last, 1024x768 RGB\n"
    "  state FILE.json          the program's state now\n"
    "Lines before the first 'frames' run once start-up is over; the lines after a\n"
    "'frames N' run once the Nth frame is shown. At the end of the script a program still\n"
    "running is asked to close; once it has ended, 'frames' and input lines do nothing.\n"
    "Exit status: 0 when the program returned 0, 1 when a file could not be written,\n"
    "2 for a bad command line or script.\n";

bool ParseMs(const char* text, std::uint32_t& value) {
    if (text == nullptr || *text == '\0' || std::strlen(text) > 10) {
        return false;
    }
    std::uint64_t v = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        v = v * 10 + static_cast<std::uint64_t>(*c - '0');
    }
    if (v > UINT32_MAX) {
        return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

int BadUsage(const std::string& message) {
    std::fprintf(stderr, "vormika-replay: %s (try --help)\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    replay::Options options;
    const char* scriptPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--tick0" || arg == "--frame-ms") {
            std::uint32_t& target = arg == "--tick0" ? options.tick0 : options.frameMs;
            if (i + 1 >= argc || !ParseMs(argv[i + 1], target)) {
                return BadUsage(arg + " needs milliseconds, 0 to 4294967295");
            }
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return BadUsage("unknown option '" + arg + "'");
        } else if (scriptPath != nullptr) {
            return BadUsage("one script only");
        } else {
            scriptPath = argv[i];
        }
    }
    if (scriptPath == nullptr) {
        return BadUsage("no script given");
    }

    replay::Script script;
    std::string error;
    if (!replay::LoadScript(scriptPath, script, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const replay::Outcome outcome = replay::Run(script, options);
    if (outcome.writesFailed) {
        return 1;
    }
    return outcome.exitCode;
}
