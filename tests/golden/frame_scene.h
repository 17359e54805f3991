// The pinned frame: the real program started on the headless host with start {2, 5, 0, 7}, a
// DEEP SEARCH stopped at step 700, the main view showing the current seek, the cursor resting
// on the step button and the clock standing still. Shared by the golden test and the frame
// benchmark, so that what is timed is what is pinned.
#pragma once

#include <cstdint>

#include "platform/dinput8.h"
#include "platform/host/headless.h"
#include "platform/win32_ext.h"
#include "replay/engine.h"
#include "seek/seek.h"
#include "state/app_state.h"

namespace golden {

constexpr std::uint32_t kTick = 5000;     // the clock all through: light and camera stand
constexpr std::int32_t kCursorX = 275;    // over the step button
constexpr std::int32_t kCursorY = 415;
constexpr std::uint32_t kSteps = 700;

// Called once the program has started and drawn its first frame with everything in place;
// the device, the fonts and the controls are live until it returns.
using FrameBody = void (*)(void* context);

namespace detail {

struct Run {
    FrameBody body = nullptr;
    void* context = nullptr;
    bool done = false; // the body has run: later frames (its own included) pass through
};

// Start-up has finished: set the seek and aim the cursor, before the first pass reads them.
inline void SetUpSeek(host::HeadlessHost& h) {
    app.startRings = {2, 5, 0, 7};
    app.seekMethod = SeekMethod::Deep;
    ResetSeek();
    StepSeek(static_cast<std::int32_t>(kSteps));
    std::int32_t landedX = 0;
    std::int32_t landedY = 0;
    const std::int32_t dx = replay::CountsToward(app.mouseX, app.mouseSpeedX, kCursorX,
                                                 app.mouseMinX, app.mouseMaxX, landedX);
    const std::int32_t dy = replay::CountsToward(app.mouseY, app.mouseSpeedY, kCursorY,
                                                 app.mouseMinY, app.mouseMaxY, landedY);
    h.SetMouseMotion(dx, dy);
}

inline void OnBoundary(void* context, host::HeadlessHost::Boundary boundary) {
    auto* run = static_cast<Run*>(context);
    host::HeadlessHost& h = replay::Host();
    if (boundary == host::HeadlessHost::Boundary::StartUp) {
        SetUpSeek(h);
        return;
    }
    if (run->done) {
        return;
    }
    run->done = true;
    run->body(run->context);
    h.RequestClose();
}

} // namespace detail

// Runs the program once, calling body at the end of its first frame; returns WinMain's
// result. The clock advances by nothing per pass, so every frame is drawn at kTick.
inline int WithFrame(FrameBody body, void* context) {
    ResetAppState();
    win32ext::Reset();
    dinput8ext::Reset();
    host::HeadlessHost& h = replay::Host();
    h.Reset(kTick, 0);
    detail::Run run{body, context, false};
    h.SetBoundaryHook(detail::OnBoundary, &run);
    host::Install(&h);
    char commandLine[] = "";
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, 10);
    h.SetBoundaryHook(nullptr, nullptr);
    host::Install(nullptr);
    ResetAppState();
    return result;
}

} // namespace golden
