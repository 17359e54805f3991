// headless host: fixed 1024x768, virtual clock, keys and mouse from a script, frames kept.
#include "platform/host/headless.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#define HEADLESS_WORDS 1
#else
#define HEADLESS_WORDS 0
#endif

namespace host {

HeadlessHost::HeadlessHost()
    : frame_(static_cast<std::uint32_t*>(AllocateBuffer(sizeof(std::uint32_t) * kWidth * kHeight))) {
    if (frame_ == nullptr) throw std::bad_alloc();
    std::fill(frame_.get(), frame_.get() + kWidth * kHeight, 0xFF000000u);
}

void HeadlessHost::Reset(std::uint32_t tick0, std::uint32_t frameMs) {
    clock_ = tick0;
    frameMs_ = frameMs;
    reads_ = 0;
    advancePending_ = false;
    passes_ = 0;
    presented_ = 0;
    std::memset(keys_, 0, sizeof keys_);
    pending_ = MouseRead{};
    std::memset(buttons_, 0, sizeof buttons_);
    keysFail_ = false;
    mouseFail_ = false;
    eventHead_ = 0;
    eventCount_ = 0;
    windowOpen_ = false;
    cursorShown_ = true;
    std::fill(frame_.get(), frame_.get() + kWidth * kHeight, 0xFF000000u);
}

void HeadlessHost::SetBoundaryHook(BoundaryHook hook, void* context) {
    hook_ = hook;
    hookContext_ = context;
}

void HeadlessHost::SetKey(std::uint8_t dik, bool down) {
    keys_[dik] = down ? 0x80 : 0;
    Queue(down ? EventKind::KeyDown : EventKind::KeyUp, dik);
}

namespace {
// Motion piled up between two reads stops at the ends of 32 bits rather than wrapping.
std::int32_t AddCounts(std::int32_t a, std::int32_t b) {
    const std::int64_t sum = static_cast<std::int64_t>(a) + b;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
}
} // namespace

void HeadlessHost::AddMouseMotion(std::int32_t dx, std::int32_t dy) {
    pending_.dx = AddCounts(pending_.dx, dx);
    pending_.dy = AddCounts(pending_.dy, dy);
}

void HeadlessHost::SetMouseMotion(std::int32_t dx, std::int32_t dy) {
    pending_.dx = dx;
    pending_.dy = dy;
}

void HeadlessHost::SetButton(int index, bool down) {
    if (index >= 0 && index < 4) {
        buttons_[index] = down ? 1 : 0;
    }
}

void HeadlessHost::SetClock(std::uint32_t ticks) { clock_ = ticks; }

void HeadlessHost::RequestClose() { Queue(EventKind::Close, 0); }

void HeadlessHost::SetReadsFail(bool keysFail, bool mouseFail) {
    keysFail_ = keysFail;
    mouseFail_ = mouseFail;
}

void HeadlessHost::Queue(EventKind kind, std::uint8_t dik) {
    // A full queue drops the event, as a flooded window system would; but a close request
    // takes the newest event's place, since a lost one would leave the program running with
    // nothing left to end it.
    if (eventCount_ == kEventCapacity) {
        if (kind != EventKind::Close) {
            return;
        }
        --eventCount_;
    }
    events_[(eventHead_ + eventCount_) % kEventCapacity] = Event{kind, dik};
    ++eventCount_;
}

void HeadlessHost::RunHook(Boundary boundary) {
    if (hook_ != nullptr) {
        hook_(hookContext_, boundary);
    }
}

bool HeadlessHost::OpenWindow(int, int, const char*) {
    windowOpen_ = true;
    return true;
}

void HeadlessHost::CloseWindow() { windowOpen_ = false; }

bool HeadlessHost::NextEvent(Event& event) {
    if (eventCount_ == 0) {
        return false;
    }
    event = events_[eventHead_];
    eventHead_ = (eventHead_ + 1) % kEventCapacity;
    --eventCount_;
    return true;
}

bool HeadlessHost::ReadKeys(std::uint8_t keys[256]) {
    if (keysFail_) {
        return false;
    }
    std::memcpy(keys, keys_, sizeof keys_);
    return true;
}

bool HeadlessHost::ReadMouse(MouseRead& mouse) {
    mouse = MouseRead{};
    if (mouseFail_) {
        pending_ = MouseRead{};
        return false;
    }
    mouse.dx = pending_.dx;
    mouse.dy = pending_.dy;
    mouse.wheel = pending_.wheel;
    std::memcpy(mouse.buttons, buttons_, sizeof buttons_);
    pending_ = MouseRead{};
    return true;
}

std::uint32_t HeadlessHost::Ticks() {
    if (advancePending_) {
        clock_ += frameMs_;
        advancePending_ = false;
        ++passes_;
    }
    const std::uint32_t now = clock_;
    if (++reads_ == 2) {
        advancePending_ = true;
        RunHook(Boundary::StartUp);
    }
    return now;
}

namespace {

// The kept frame goes through the cache like the renderer's buffers: together they fit in
// the processor's last cache, and the frame measured faster with plain stores than with
// stores around the cache, which send every kept word to memory. The library's memcpy takes
// string moves for a run this long, which measured no better than those.
void CopyWords(std::uint32_t* to, const std::uint32_t* from, std::size_t words) {
#if HEADLESS_WORDS
    while (words > 0 && (reinterpret_cast<std::uintptr_t>(to) & 15u) != 0) {
        *to++ = *from++;
        --words;
    }
    for (; words >= 16; words -= 16, to += 16, from += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 8));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 12));
        _mm_store_si128(reinterpret_cast<__m128i*>(to), a);
        _mm_store_si128(reinterpret_cast<__m128i*>(to + 4), b);
        _mm_store_si128(reinterpret_cast<__m128i*>(to + 8), c);
        _mm_store_si128(reinterpret_cast<__m128i*>(to + 12), d);
    }
#endif
    std::memcpy(to, from, words * sizeof(std::uint32_t));
}

} // namespace

void HeadlessHost::Present(const std::uint32_t* pixels, int width, int height) {
    if (pixels != nullptr && width > 0 && height > 0) {
        const int rows = std::min(height, kHeight);
        const int columns = std::min(width, kWidth);
        if (width == kWidth) {
            // Rows packed alike on both sides: the whole picture is one run of words.
            CopyWords(frame_.get(), pixels, static_cast<std::size_t>(rows) * kWidth);
        } else {
            for (int y = 0; y < rows; ++y) {
                CopyWords(&frame_[static_cast<std::size_t>(y) * kWidth],
                          pixels + static_cast<std::size_t>(y) * width,
                          static_cast<std::size_t>(columns));
            }
        }
    }
    ++presented_;
    advancePending_ = true;
    RunHook(Boundary::Present);
}

void HeadlessHost::ShowSystemCursor(bool show) { cursorShown_ = show; }

} // namespace host
