// A host for tests that drive the device or the scene without the program's shell: no
// window, no events, all keys up, no mouse, clock at 0, frames dropped. Tests override what
// they watch.
#pragma once

#include <cstdint>

#include "platform/host/host.h"

class QuietHost : public host::Host {
public:
    bool OpenWindow(int, int, const char*) override { return true; }
    void CloseWindow() override {}
    bool NextEvent(host::Event&) override { return false; }
    bool ReadKeys(std::uint8_t keys[256]) override {
        for (int i = 0; i < 256; ++i) keys[i] = 0;
        return true;
    }
    bool ReadMouse(host::MouseRead&) override { return true; }
    std::uint32_t Ticks() override { return 0; }
    void Present(const std::uint32_t*, int, int) override {}
    void ShowSystemCursor(bool) override {}
};
