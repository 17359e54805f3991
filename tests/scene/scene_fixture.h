// Shared set-up of the disc scene tests: a fresh AppState, a recording device in app.device
// and a clock the test sets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/host/host.h"
#include "support/quiet_host.h"
#include "scene/scene.h"
#include "state/app_state.h"
#include "support/fake_device.h"

// A host that only tells the time; the scene reads nothing else from it.
class ClockHost final : public QuietHost {
public:
    std::uint32_t now = 0;

    std::uint32_t Ticks() override { return now; }
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
