// The list of pending interface events: controls push during the mouse hand-over, the
// frame loop takes them newest first until the list is empty.
#pragma once

#include <cstdint>

constexpr std::int32_t EVENT_CLICK = 1001;
constexpr std::int32_t EVENT_HOVER = 1002;

struct UiEvent {
    std::int32_t id;
    std::int32_t code;
};

// A fixed store, so that a frame's events never allocate. A frame posts at most two events
// per control (hover and click: 30 with the standard panel); a push beyond the capacity is
// dropped rather than written past the store.
class EventList {
public:
    static constexpr std::uint32_t kCapacity = 256;

    void PushEvent(std::int32_t id, std::int32_t code) {
        if (count_ < kCapacity) {
            records_[count_++] = UiEvent{id, code};
        }
    }

    // Removes the newest record into the out-parameters that are not null; returns the
    // number of records there were before the removal, 0 (writing nothing) when empty.
    std::int32_t TakeEvent(std::int32_t* id, std::int32_t* code) {
        if (count_ == 0) {
            return 0;
        }
        const std::uint32_t before = count_--;
        if (id != nullptr) {
            *id = records_[count_].id;
        }
        if (code != nullptr) {
            *code = records_[count_].code;
        }
        return static_cast<std::int32_t>(before);
    }

    std::uint32_t Size() const { return count_; }
    void Clear() { count_ = 0; }

private:
    UiEvent records_[kCapacity] = {};
    std::uint32_t count_ = 0;
};
