// The replay engine: runs the real WinMain on the headless host, carrying out a script's
// lines at the boundaries between frame-loop passes.
//
// Timing. The script's lines before its first `frames` run when start-up has finished;
// each `frames N` then lets N passes run, and the lines after it run once the Nth pass has
// presented its frame (or at once, if the program has ended). The clock starts at tick0 and
// advances by frameMs as each pass begins (see host/headless.h). At the script's end a
// program still running gets a close request and runs to its end. Once WinMain has returned,
// `frames` and the input lines do nothing; `state` and `screenshot` still write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/host/headless.h"
#include "replay/script.h"

namespace replay {

struct Options {
    std::uint32_t tick0 = 0;
    std::uint32_t frameMs = 16;
    // Where `state` and `screenshot` lines go instead of their files, when set (for tests).
    // A sink returns false for a failed write.
    std::function<bool(const Command&, const std::string& json)> stateSink;
    std::function<bool(const Command&, const std::uint32_t* frame)> screenshotSink;
    // Notes and failed writes, as "vormika-replay: SCRIPT:LINE: message".
    std::FILE* log = stderr;
    // Called once each frame has been presented, before the script's next lines run (for
    // checks that watch every frame).
    std::function<void()> afterFrame;
};

struct Outcome {
    int exitCode = 0;          // WinMain's result
    bool writesFailed = false; // a state or screenshot file could not be written
};

// Puts the program and the platform back to their state before start-up, then runs the
// program once under the script.
Outcome Run(const Script& script, const Options& options);

// Whether the program of the latest run has returned, and what it returned.
bool ProgramExited();
int ProgramExitCode();

// The program's state now, as the `state` line writes it.
std::string StateJson();

// Writes a frame of HeadlessHost::kWidth x kHeight 0xAARRGGBB words as an RGB PNG; false
// with errno-style reason in `why` on failure.
bool WritePng(const std::string& path, const std::uint32_t* frame, std::string& why);

// The relative counts that bring a cursor at `position` (moved by `speed` per count and
// kept within [low, high] after truncation) onto pixel `target`; `landed` is the pixel it
// will reach, which differs from `target` when no whole count reaches it.
std::int32_t CountsToward(float position, float speed, std::int32_t target, std::int32_t low,
                          std::int32_t high, std::int32_t& landed);

// The headless host the runs use (installed by Run).
host::HeadlessHost& Host();

} // namespace replay
