// The control panel: the fourteen controls at their places, and what a click on each does to
// the seek and to what the main view shows.
#include <new>

#include "seek/seek.h"
#include "state/app_state.h"
#include "ui/controls.h"
#include "ui/overlay.h"

namespace {

template <typename T>
T* Make(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
        const char* label) {
    return new (std::nothrow) T(app.rootPanel, id, x, y, width, height, label);
}

void SetOption(OptionButton* option, std::int32_t value) {
    if (option != nullptr) {
        option->SetState(value);
    }
}

// Clears a group, then checks the one option chosen (1, 2 or 3).
void CheckOnly(OptionButton* first, OptionButton* second, OptionButton* third,
               std::int32_t chosen) {
    SetOption(first, 0);
    SetOption(second, 0);
    SetOption(third, 0);
    OptionButton* const group[] = {first, second, third};
    if (chosen >= 1 && chosen <= 3) {
        SetOption(group[chosen - 1], 1);
    }
}

template <typename... T>
void Free(T*&... controls) {
    ((delete controls, controls = nullptr), ...);
}

void CreateSeekButtons() {
    // Six buttons, 400 pixels in all, centred under the main view and right below it.
    const D3DVIEWPORT8& view = app.mainViewport;
    const auto bx = static_cast<std::int32_t>(view.X + (view.Width - 400) / 2);
    const auto by = static_cast<std::int32_t>(view.Y + view.Height);
    app.restartButton = Make<PushButton>(102, bx, by, 100, 30, "");
    app.playButton = Make<PushButton>(103, bx + 100, by, 50, 30, "");
    app.stepButton = Make<PushButton>(104, bx + 150, by, 50, 30, "");
    app.fastPlayButton = Make<PushButton>(105, bx + 200, by, 50, 30, "");
    app.skipButton = Make<PushButton>(106, bx + 250, by, 50, 30, "");
    app.endButton = Make<PushButton>(107, bx + 300, by, 100, 30, "");
}

void CreateMethodOptions() {
    const std::int32_t x = app.infoFrame.left + 5;
    const std::int32_t top = app.seekMethodFrame.top;
    const auto width = static_cast<std::int32_t>(app.insetViewport.Width);
    app.deepOption = Make<OptionButton>(201, x, top + 20, width, 20, "DEEP SEARCH");
    app.breadthOption = Make<OptionButton>(202, x, top + 40, width, 20, "BREADTH SEARCH");
    app.aStarOption = Make<OptionButton>(203, x, top + 60, width, 20, "A-STAR SEARCH");
    SetOption(app.deepOption, 1);
}

void CreateViewOptions() {
    // The rows end at the frame's right edge: wider, they would reach over the inset view
    // and the spin button, and a click there would also pick a view.
    const Frame& frame = app.viewSelectFrame;
    const std::int32_t x = frame.left + 5;
    const std::int32_t width = frame.right - x;
    app.showStartOption = Make<OptionButton>(204, x, frame.top + 20, width, 20, "SHOW START");
    app.showCurrentOption =
        Make<OptionButton>(205, x, frame.top + 40, width, 20, "SHOW CURRENT SEEK");
    app.showBestOption = Make<OptionButton>(206, x, frame.top + 60, width, 20, "SHOW BEST FOUND");
    SetOption(app.showCurrentOption, 1);
}

} // namespace

void CreateControlPanel() {
    app.rootPanel = new (std::nothrow) Panel(nullptr, 1, 0, 0,
                                             static_cast<std::int32_t>(app.screenWidth) - 1,
                                             static_cast<std::int32_t>(app.screenHeight) - 1);
    const D3DVIEWPORT8& inset = app.insetViewport;
    app.spinButton = Make<PushButton>(101, static_cast<std::int32_t>(inset.X),
                                      static_cast<std::int32_t>(inset.Y + inset.Height),
                                      static_cast<std::int32_t>(inset.Width), 30, "SPIN DISC");
    CreateSeekButtons();
    CreateMethodOptions();
    CreateViewOptions();
}

void ReleaseControlPanel() {
    Free(app.spinButton, app.restartButton, app.playButton, app.stepButton, app.fastPlayButton,
         app.skipButton, app.endButton, app.deepOption, app.breadthOption, app.aStarOption,
         app.showStartOption, app.showCurrentOption, app.showBestOption, app.rootPanel);
}

void HandleCommand(std::int32_t id, std::int32_t code) {
    if (code != EVENT_CLICK) {
        return;
    }
    switch (id) {
    case 101: ResetSeek(); SpinDiscs(); break;
    case 102: ResetSeek(); break;
    case 104: StepSeek(1); break;
    case 106: StepSeek(10); break;
    case 107: StepSeek(4096); break;
    default: break;   // 103 and 105 step only while held
    }

    // Every click re-asserts both groups, which undoes an option's own flip and makes each
    // group behave as radio buttons. The reset runs while the old method is still in force.
    std::int32_t method = static_cast<std::int32_t>(app.seekMethod);
    if (id >= 201 && id <= 203) {
        method = id - 200;
    }
    CheckOnly(app.deepOption, app.breadthOption, app.aStarOption, method);
    if (method != static_cast<std::int32_t>(app.seekMethod)) {
        ResetSeek();
    }
    app.seekMethod = static_cast<SeekMethod>(method);

    std::int32_t view = app.viewSelection;
    if (id >= 204 && id <= 206) {
        view = id - 203;
    }
    CheckOnly(app.showStartOption, app.showCurrentOption, app.showBestOption, view);
    app.viewSelection = view;
}
