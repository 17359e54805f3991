// Shared set-up of the overlay tests: a fresh program state with a recording device, the
// batch and the control panel, a recording font, and a frame of mouse handling.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfxutil/d3dx8.h"
#include "state/app_state.h"
#include "support/fake_device.h"
#include "ui/controls.h"
#include "ui/overlay.h"

namespace uitest {

struct TextCall {
    std::string text;
    RECT rect;
    DWORD format;
    D3DCOLOR colour;
};

// Keeps every DrawTextA with its arguments; Begin and End are counted.
class FakeFont final : public ID3DXFont {
public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    HRESULT Begin() override {
        ++begins;
        return D3D_OK;
    }
    INT DrawTextA(LPCSTR text, INT count, RECT* rect, DWORD format, D3DCOLOR colour) override {
        EXPECT_EQ(count, -1);
        calls.push_back({text != nullptr ? text : "<null>", *rect, format, colour});
        return 1;
    }
    HRESULT End() override {
        ++ends;
        return D3D_OK;
    }

    std::vector<TextCall> calls;
    int begins = 0;
    int ends = 0;
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAppState();
        app.device = &device;
        app.uiFont = &font;
        CreateOverlayBatch();
        InstallDrawCallbacks();
        CreateControlPanel();
    }
    void TearDown() override {
        ReleaseControlPanel();
        ReleaseOverlayBatch();
        ResetAppState();
    }

    // One frame of mouse handling followed by the main loop's draining of the events.
    static void MouseFrame(std::int32_t x, std::int32_t y, std::uint32_t buttons) {
        app.rootPanel->HandleMouse(x, y, buttons);
        std::int32_t id = 0;
        std::int32_t code = 0;
        while (app.eventList.TakeEvent(&id, &code) != 0) {
            HandleCommand(id, code);
        }
    }
    static void Click(std::int32_t x, std::int32_t y) {
        MouseFrame(x, y, 1);
        MouseFrame(x, y, 0);
    }

    fake::Device device;
    FakeFont font;
};

} // namespace uitest
