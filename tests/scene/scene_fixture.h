// Shared set-up of the disc scene tests: a fresh AppState, a recording device in app.device
// and a clock the test sets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/host/host.h"
#include "scene/scene.h"
#include "state/app_state.h"
#include "support/fake_device.h"

// A host that only tells the time; the scene reads nothing else from it.
class ClockHost final : public host::Host {
public:
    std::uint32_t now = 0;

    bool OpenWindow(int, int, const char*) override { return true; }
    void CloseWindow() override {}
    bool NextEvent(host::Event&) override { return false; }
    bool ReadKeys(std::uint8_t keys[256]) override {
        for (int i = 0; i < 256; ++i) keys[i] = 0;
        return true;
    }
    bool ReadMouse(host::MouseRead&) override { return true; }
    std::uint32_t Ticks() override { return now; }
    void Present(const std::uint32_t*, int, int) override {}
    void ShowSystemCursor(bool) override {}
};

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAppState();
        host::Install(&clock);
        app.device = &device;
    }
    void TearDown() override {
        delete[] app.ringVertices;
        ResetAppState();
        host::Install(nullptr);
    }

    ClockHost clock;
    fake::Device device;
};
