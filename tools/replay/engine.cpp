// The replay engine: resets the program and the platform, runs WinMain on the headless host
// and carries out the script at the pass boundaries the host reports.
#include "replay/engine.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "app/shell.h"
#include "gfxutil/d3dx8.h"
#include "scene/scene.h"
#include "platform/dinput8.h"
#include "platform/win32_ext.h"
#include "state/app_state.h"
#include "ui/overlay.h"

namespace replay {
namespace {

host::HeadlessHost& TheHost() {
    static host::HeadlessHost headless;
    return headless;
}

struct Runner {
    const Script* script = nullptr;
    const Options* options = nullptr;
    std::size_t next = 0;          // the next line to carry out
    std::uint32_t remaining = 0;   // passes left of the `frames` line in force
    bool exited = false;           // WinMain has returned
    bool closeSent = false;        // the end-of-script close request went out
    bool noFrames = false;         // the program has no device, so passes cannot be told apart
    int exitCode = 0;
    bool writesFailed = false;

    void Note(const Command& command, const std::string& message) {
        std::fprintf(options->log, "vormika-replay: %s:%d: %s\n", script->name.c_str(),
                     command.line, message.c_str());
    }

    void Pointer(const Command& command);
    void Write(const Command& command);
    void Execute(const Command& command);
    void RunLines();
    void OnBoundary(host::HeadlessHost::Boundary boundary);
};

void Runner::Pointer(const Command& command) {
    std::int32_t landedX = 0;
    std::int32_t landedY = 0;
    const std::int32_t dx = CountsToward(app.mouseX, app.mouseSpeedX, static_cast<std::int32_t>(command.a),
                                         app.mouseMinX, app.mouseMaxX, landedX);
    const std::int32_t dy = CountsToward(app.mouseY, app.mouseSpeedY, static_cast<std::int32_t>(command.b),
                                         app.mouseMinY, app.mouseMaxY, landedY);
    if (landedX != command.a || landedY != command.b) {
        Note(command, "no whole count reaches (" + std::to_string(command.a) + ", " +
                          std::to_string(command.b) + "); the cursor lands on (" +
                          std::to_string(landedX) + ", " + std::to_string(landedY) + ")");
    }
    TheHost().SetMouseMotion(dx, dy);
}

bool WriteText(const std::string& path, const std::string& text, std::string& why) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (!ok) {
        why = std::strerror(errno);
    }
    if (std::fclose(file) != 0 && ok) {
        why = std::strerror(errno);
        ok = false;
    }
    return ok;
}

void Runner::Write(const Command& command) {
    bool ok = false;
    std::string why;
    if (command.op == Op::State) {
        const std::string json = StateJson();
        if (options->stateSink) {
            ok = options->stateSink(command, json);
        } else {
            ok = WriteText(command.path, json, why);
        }
    } else if (options->screenshotSink) {
        ok = options->screenshotSink(command, TheHost().LastFrame());
    } else {
        ok = WritePng(command.path, TheHost().LastFrame(), why);
    }
    if (!ok) {
        Note(command, "cannot write " + command.path + (why.empty() ? "" : ": " + why));
        writesFailed = true;
    }
}

void Runner::Execute(const Command& command) {
    host::HeadlessHost& h = TheHost();
    const bool input = !exited;
    switch (command.op) {
    case Op::Frames:
        break;
    case Op::Key:
        if (input) h.SetKey(static_cast<std::uint8_t>(command.a), command.down);
        break;
    case Op::Mouse:
        if (input) h.AddMouseMotion(static_cast<std::int32_t>(command.a), static_cast<std::int32_t>(command.b));
        break;
    case Op::Pointer:
        if (input) Pointer(command);
        break;
    case Op::Button:
        if (input) h.SetButton(static_cast<int>(command.a), command.down);
        break;
    case Op::Tick:
        h.SetClock(static_cast<std::uint32_t>(command.a));
        break;
    case Op::Close:
        if (input) h.RequestClose();
        break;
    case Op::Screenshot:
    case Op::State:
        Write(command);
        break;
    }
}

// Carries out lines until a `frames` line hands control back to the program, or to the end.
void Runner::RunLines() {
    while (next < script->commands.size()) {
        const Command& command = script->commands[next++];
        if (command.op == Op::Frames && command.a > 0 && !exited && !noFrames) {
            remaining = static_cast<std::uint32_t>(command.a);
            return;
        }
        Execute(command);
    }
    if (!exited && !closeSent) {
        TheHost().RequestClose();
        closeSent = true;
    }
}

void Runner::OnBoundary(host::HeadlessHost::Boundary boundary) {
    if (boundary == host::HeadlessHost::Boundary::StartUp && app.device == nullptr) {
        std::fprintf(options->log, "vormika-replay: %s: the program has no graphics device; "
                                   "'frames' lines are skipped\n", script->name.c_str());
        noFrames = true;
    }
    if (boundary == host::HeadlessHost::Boundary::Present && options->afterFrame) {
        options->afterFrame();
    }
    if (boundary == host::HeadlessHost::Boundary::Present && remaining > 0 && --remaining > 0) {
        return;
    }
    RunLines();
}

Runner runner;

void OnBoundary(void* context, host::HeadlessHost::Boundary boundary) {
    static_cast<Runner*>(context)->OnBoundary(boundary);
}

// What the program leaves to process exit, released so that runs in one process do not
// pile up objects.
void ReleaseLeftovers() {
    ReleaseControlPanel();
    ReleaseOverlayBatch();
    if (app.uiFont != nullptr) {
        app.uiFont->Release();
    }
    ReleaseSceneResources();
}

// Toward zero, saturating, as the cursor's truncation does.
std::int32_t Truncate(double value) {
    if (value >= 2147483647.0) {
        return INT32_MAX;
    }
    if (value <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(value);
}

// Where a poll of `counts` puts the cursor, with the poll's arithmetic and clamping.
std::int32_t Landing(float position, float speed, std::int64_t counts, std::int32_t low,
                     std::int32_t high) {
    float p = static_cast<float>(static_cast<double>(position) +
                                 static_cast<double>(counts) * static_cast<double>(speed));
    if (Truncate(p) > high) {
        p = static_cast<float>(high);
    }
    if (Truncate(p) < low) {
        p = static_cast<float>(low);
    }
    return Truncate(p);
}

} // namespace

std::int32_t CountsToward(float position, float speed, std::int32_t target, std::int32_t low,
                          std::int32_t high, std::int32_t& landed) {
    landed = Landing(position, speed, 0, low, high);
    if (speed == 0.0f || !std::isfinite(speed)) {
        return 0;
    }
    // Aim at the pixel's middle, then try the whole counts around it.
    const double guess = (target + 0.5 - static_cast<double>(position)) / speed;
    const double centre = std::fmin(std::fmax(guess, -2147483600.0), 2147483600.0);
    std::int64_t best = 0;
    std::int64_t bestMiss = INT64_MAX;
    double bestOff = 0.0;
    for (std::int64_t k = static_cast<std::int64_t>(std::floor(centre)) - 2;
         k <= static_cast<std::int64_t>(std::ceil(centre)) + 2; ++k) {
        const std::int32_t at = Landing(position, speed, k, low, high);
        const std::int64_t miss = std::llabs(static_cast<std::int64_t>(at) - target);
        const double off = std::fabs(static_cast<double>(k) - guess);
        if (miss < bestMiss || (miss == bestMiss && off < bestOff)) {
            best = k;
            bestMiss = miss;
            bestOff = off;
            landed = at;
        }
    }
    return static_cast<std::int32_t>(best);
}

host::HeadlessHost& Host() { return TheHost(); }

bool ProgramExited() { return runner.exited; }

int ProgramExitCode() { return runner.exitCode; }

Outcome Run(const Script& script, const Options& options) {
    ReleaseLeftovers();
    ResetAppState();
    win32ext::Reset();
    dinput8ext::Reset();

    runner = Runner{};
    runner.script = &script;
    runner.options = &options;

    host::HeadlessHost& h = TheHost();
    h.Reset(options.tick0, options.frameMs);
    h.SetBoundaryHook(OnBoundary, &runner);
    host::Install(&h);

    char commandLine[] = "";
    runner.exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, 10);
    runner.exited = true;
    runner.remaining = 0;
    runner.RunLines();
    h.SetBoundaryHook(nullptr, nullptr);

    return Outcome{runner.exitCode, runner.writesFailed};
}

} // namespace replay
