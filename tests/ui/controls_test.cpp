// The controls on their own: press edges and event order, held push buttons, toggling
// options, labels and the two draw passes.
#include <utility>
#include <vector>

#include "ui_fixture.h"

namespace {

using Event = std::pair<std::int32_t, std::int32_t>;

std::vector<Event> TakeAll() {
    std::vector<Event> out;
    std::int32_t id = 0;
    std::int32_t code = 0;
    while (app.eventList.TakeEvent(&id, &code) != 0) {
        out.emplace_back(id, code);
    }
    return out;
}

// A root panel with a push button at (100, 100)-(150, 130) and an option row beside it.
class Controls : public ::testing::Test {
protected:
    void SetUp() override { ResetAppState(); }
    void TearDown() override { ResetAppState(); }

    void Frame(std::int32_t x, std::int32_t y, std::uint32_t buttons) {
        root.HandleMouse(x, y, buttons);
        app.eventList.Clear();
    }

    Panel root{nullptr, 1, 0, 0, 1023, 767};
    PushButton button{&root, 101, 100, 100, 50, 30, "GO"};
    OptionButton option{&root, 201, 150, 100, 100, 20, "ONE"};
};

TEST_F(Controls, ClickOnAChildIsTakenNewestFirst) {
    root.HandleMouse(120, 110, 1);
    std::int32_t id = 0;
    std::int32_t code = 0;
    const std::int32_t expected[][3] = {{4, 1, EVENT_CLICK}, {3, 1, EVENT_HOVER},
                                        {2, 101, EVENT_CLICK}, {1, 101, EVENT_HOVER}};
    for (const auto& e : expected) {
        EXPECT_EQ(app.eventList.TakeEvent(&id, &code), e[0]);
        EXPECT_EQ(id, e[1]);
        EXPECT_EQ(code, e[2]);
    }
    EXPECT_EQ(app.eventList.TakeEvent(&id, &code), 0);

    // x = 150 is the button's right edge and the option's left edge: both are hit.
    root.HandleMouse(150, 110, 0);
    EXPECT_EQ(TakeAll(), (std::vector<Event>{{1, EVENT_HOVER}, {201, EVENT_HOVER},
                                             {101, EVENT_HOVER}}));
}

TEST_F(Controls, PushButtonHoldsFromTheFrameAfterThePress) {
    struct Step {
        std::int32_t x;
        std::uint32_t buttons;
        std::int32_t state;
        const char* what;
    };
    const Step steps[] = {
        {120, 1, 0, "press: clicks, not yet held"},
        {120, 1, 1, "still down inside: held"},
        {300, 1, 0, "dragged off: released"},
        {120, 1, 1, "dragged back on: held again"},
        {120, 0, 0, "let go: released"},
        {300, 1, 0, "pressed outside"},
        {120, 1, 1, "dragged in while down: held"},
    };
    for (const Step& s : steps) {
        Frame(s.x, 110, s.buttons);
        EXPECT_EQ(button.state, s.state) << s.what;
    }
}

TEST_F(Controls, SecondaryButtonAloneNeitherClicksNorReleases) {
    Frame(120, 110, 1);
    Frame(120, 110, 1);
    ASSERT_EQ(button.state, 1);
    root.HandleMouse(120, 110, 2);
    const auto events = TakeAll();
    for (const Event& e : events) {
        EXPECT_NE(e.second, EVENT_CLICK);
    }
    EXPECT_EQ(button.state, 1);
    Frame(120, 110, 2);
    EXPECT_EQ(button.state, 1);
}

TEST_F(Controls, OptionFlipsOnEachPressInside) {
    for (std::int32_t expected : {1, 0, 1}) {
        Frame(200, 110, 1);
        Frame(200, 110, 1);   // held: no new press, no flip
        Frame(200, 110, 0);
        EXPECT_EQ(option.state, expected);
    }
    Frame(600, 110, 1);
    EXPECT_EQ(option.state, 1);
}

TEST_F(Controls, LabelsAreOwnedCopies) {
    char text[] = "ABC";
    PushButton copy{nullptr, 102, 0, 0, 10, 10, text};
    text[0] = 'X';
    EXPECT_STREQ(copy.label, "ABC");
    copy.SetLabelNumber(-42);
    EXPECT_STREQ(copy.label, "-42");
}

TEST_F(Controls, NullPushDrawerHidesPushButtonsAndTheirChildren) {
    OptionButton inner{&button, 250, 0, 0, 10, 10, "IN"};
    std::vector<std::int32_t> drawn;
    static std::vector<std::int32_t>* sink = nullptr;
    sink = &drawn;
    app.optionButtonDrawer = [](std::int32_t id, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, const char*, std::int32_t) { sink->push_back(id); };
    app.pushButtonDrawer = nullptr;
    root.Draw();
    EXPECT_EQ(drawn, std::vector<std::int32_t>{201});
    app.pushButtonDrawer = app.optionButtonDrawer;
    drawn.clear();
    root.Draw();
    EXPECT_EQ(drawn, (std::vector<std::int32_t>{101, 250, 201}));
}

class ControlDrawing : public uitest::UiTest {};

TEST_F(ControlDrawing, OptionBoxAndLabelFollowTheCheck) {
    app.textPass = 0;
    app.overlayVertexCount = 0;
    DrawOptionButton(201, 610, 20, 209, 20, "DEEP SEARCH", 1);
    EXPECT_EQ(app.overlayVertices[0].x, 610.0f);
    EXPECT_EQ(app.overlayVertices[0].y, 24.0f);
    EXPECT_EQ(app.overlayVertices[4].x, 622.0f);
    EXPECT_EQ(app.overlayVertices[4].y, 36.0f);
    EXPECT_EQ(app.overlayVertices[0].colour, app.buttonDarkColour);
    EXPECT_EQ(app.overlayVertices[4].colour, app.optionOnColour);

    app.textPass = 1;
    DrawOptionButton(201, 610, 20, 209, 20, "DEEP SEARCH", 0);
    DrawPushButton(101, 814, 139, 209, 30, "SPIN DISC", 0);
    ASSERT_EQ(font.calls.size(), 2u);
    EXPECT_EQ(font.calls[0].text, "DEEP SEARCH");
    EXPECT_EQ(font.calls[0].rect.left, 628);
    EXPECT_EQ(font.calls[0].rect.right, 819);
    EXPECT_EQ(font.calls[0].format, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    EXPECT_EQ(font.calls[0].colour, app.optionOffColour);
    EXPECT_EQ(font.calls[1].format, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

} // namespace
