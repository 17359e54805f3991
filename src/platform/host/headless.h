// headless host: fixed 1024x768, virtual clock, keys and mouse from a script, frames kept.
//
//  [x] a window of record only: open/closed, nothing shown
//  [x] a key array and key/close events set by the driver (a replay script or a test)
//  [x] relative mouse counts and four buttons set by the driver, taken at the next read
//  [x] a virtual millisecond clock that moves only as described below or when set
//  [x] a copy of the last presented frame (black until the first one)
//  [x] a boundary hook, called between frame-loop passes, where the driver acts
//  [ ] no pacing, no system cursor, no focus changes
//
// Pass boundaries and the clock. The program reads the clock twice in start-up (the random
// seed, then the loop's start) and then first thing in every frame-loop pass; a pass ends
// with Present (or with the loop's exit, which needs no boundary). So:
//  - the second read since Reset() is start-up's closing read: it returns the clock, then the
//    hook runs (Boundary::StartUp);
//  - Present keeps the frame, then the hook runs (Boundary::Present);
//  - the first read after either boundary advances the clock by frameMs before returning it,
//    and counts one pass begun. Other reads within a pass (the renderer's) see the same tick.
// A driver that sets the clock at a boundary therefore sets what the next pass sees minus
// frameMs. Nothing here allocates after construction.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/host/host.h"

namespace host {

class HeadlessHost final : public Host {
public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 768;

    enum class Boundary { StartUp, Present };
    using BoundaryHook = void (*)(void* context, Boundary boundary);

    HeadlessHost();

    // Back to a fresh run: clock at tick0, advancing frameMs per pass; no keys, buttons,
    // motion, events or frame; window closed; reads counted from zero. The hook is kept.
    void Reset(std::uint32_t tick0, std::uint32_t frameMs);
    void SetBoundaryHook(BoundaryHook hook, void* context);

    // The driver's side. A key change shows in the next key read and queues a key event.
    void SetKey(std::uint8_t dik, bool down);
    void AddMouseMotion(std::int32_t dx, std::int32_t dy);
    void SetMouseMotion(std::int32_t dx, std::int32_t dy); // replaces what is pending
    void SetButton(int index, bool down);                 // index 0..3
    void SetClock(std::uint32_t ticks);
    void RequestClose();
    // Makes the following reads fail, for tests of the callers' failure handling.
    void SetReadsFail(bool keysFail, bool mouseFail);

    std::uint32_t Clock() const { return clock_; }
    std::uint32_t PassesBegun() const { return passes_; }
    std::uint32_t FramesPresented() const { return presented_; }
    bool WindowOpen() const { return windowOpen_; }
    bool SystemCursorShown() const { return cursorShown_; }
    std::int32_t PendingDx() const { return pending_.dx; }
    std::int32_t PendingDy() const { return pending_.dy; }
    // kWidth x kHeight words of 0xAARRGGBB, rows packed.
    const std::uint32_t* LastFrame() const { return frame_.get(); }

    bool OpenWindow(int width, int height, const char* title) override;
    void CloseWindow() override;
    bool NextEvent(Event& event) override;
    bool ReadKeys(std::uint8_t keys[256]) override;
    bool ReadMouse(MouseRead& mouse) override;
    std::uint32_t Ticks() override;
    void Present(const std::uint32_t* pixels, int width, int height) override;
    void ShowSystemCursor(bool show) override;

private:
    static constexpr int kEventCapacity = 64;

    void Queue(EventKind kind, std::uint8_t dik);
    void RunHook(Boundary boundary);

    BoundaryHook hook_ = nullptr;
    void* hookContext_ = nullptr;

    std::uint32_t clock_ = 0;
    std::uint32_t frameMs_ = 16;
    std::uint32_t reads_ = 0;          // clock reads since Reset
    bool advancePending_ = false;      // the next read begins a pass
    std::uint32_t passes_ = 0;         // passes begun
    std::uint32_t presented_ = 0;      // frames presented

    std::uint8_t keys_[256] = {};
    MouseRead pending_;                // motion gathered since the last mouse read
    std::uint8_t buttons_[4] = {};
    bool keysFail_ = false;
    bool mouseFail_ = false;

    Event events_[kEventCapacity] = {};
    int eventHead_ = 0;
    int eventCount_ = 0;

    bool windowOpen_ = false;
    bool cursorShown_ = true;
    // Sized once, in the constructor; on large pages like the back buffer it is copied from,
    // which made the frame about 1% faster than small ones.
    std::unique_ptr<std::uint32_t[], BufferFree> frame_;
};

} // namespace host
