// The control panel's places and what clicks on it do to the seek and the main view.
#include <vector>

#include "platform/crt.h"
#include "seek/seek.h"
#include "ui_fixture.h"

namespace {

using uitest::UiTest;

class ControlPanel : public UiTest {
protected:
    static std::vector<std::int32_t> Checked() {
        std::vector<std::int32_t> ids;
        for (Control* c : app.rootPanel->children) {
            if (c->id >= 201 && c->state != 0) {
                ids.push_back(c->id);
            }
        }
        return ids;
    }
};

TEST_F(ControlPanel, ControlsInCreationOrderAtTheirPlaces) {
    struct Place {
        std::int32_t id, x, y, width, height;
    };
    // The view options end at the view frame's right edge (809).
    const Place expected[] = {
        {101, 814, 139, 209, 30}, {102, 100, 400, 100, 30}, {103, 200, 400, 50, 30},
        {104, 250, 400, 50, 30},  {105, 300, 400, 50, 30},  {106, 350, 400, 50, 30},
        {107, 400, 400, 100, 30}, {201, 610, 20, 209, 20},  {202, 610, 40, 209, 20},
        {203, 610, 60, 209, 20},  {204, 610, 125, 199, 20}, {205, 610, 145, 199, 20},
        {206, 610, 165, 199, 20},
    };
    const Panel& root = *app.rootPanel;
    EXPECT_EQ(root.width, 1023);
    EXPECT_EQ(root.height, 767);
    ASSERT_EQ(root.children.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Control& c = *root.children[i];
        const Place& p = expected[i];
        EXPECT_EQ((std::vector<std::int32_t>{c.id, c.x, c.y, c.width, c.height}),
                  (std::vector<std::int32_t>{p.id, p.x, p.y, p.width, p.height}));
        EXPECT_EQ(c.parent, &root);
    }
    EXPECT_STREQ(app.spinButton->label, "SPIN DISC");
    EXPECT_STREQ(app.restartButton->label, "");
    EXPECT_STREQ(app.showBestOption->label, "SHOW BEST FOUND");
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{201, 205}));
}

TEST_F(ControlPanel, SpinResetsTheSeekAndSpinsTheStart) {
    StepSeek(5);
    crt::srand(77);
    Click(900, 150);
    EXPECT_EQ(app.stepCount, 0);
    EXPECT_EQ(app.bestCost, 255);
    const RingSet spun = app.startRings;
    crt::srand(77);
    SpinDiscs();
    EXPECT_EQ(app.startRings, spun);
    // The spin button lies beside the view options, not under them.
    EXPECT_EQ(app.viewSelection, 2);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{201, 205}));
}

TEST_F(ControlPanel, MethodChangeResetsButTheSameMethodDoesNot) {
    StepSeek(5);
    Click(700, 50);   // BREADTH SEARCH
    EXPECT_EQ(app.seekMethod, Breadth);
    EXPECT_EQ(app.stepCount, 0);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{202, 205}));

    StepSeek(5);
    Click(700, 50);   // again: its own flip is undone, the seek goes on
    EXPECT_EQ(app.seekMethod, Breadth);
    EXPECT_EQ(app.stepCount, 5);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{202, 205}));
}

TEST_F(ControlPanel, PressOnASharedRowEdgeLeavesTheUpperOption) {
    Click(700, 70);   // A-STAR SEARCH
    StepSeek(5);
    Click(700, 40);   // edge between DEEP and BREADTH
    EXPECT_EQ(app.seekMethod, Deep);
    EXPECT_EQ(app.stepCount, 0);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{201, 205}));

    Click(700, 165);  // edge between SHOW CURRENT SEEK and SHOW BEST FOUND
    EXPECT_EQ(app.viewSelection, 2);
    Click(700, 175);
    EXPECT_EQ(app.viewSelection, 3);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{201, 206}));
}

TEST_F(ControlPanel, SharedButtonEdgeClicksTheLaterButtonFirst) {
    app.rootPanel->HandleMouse(400, 410, 1);
    std::vector<std::int32_t> clicks;
    std::int32_t id = 0;
    std::int32_t code = 0;
    while (app.eventList.TakeEvent(&id, &code) != 0) {
        if (code == EVENT_CLICK) {
            clicks.push_back(id);
        }
        HandleCommand(id, code);
    }
    EXPECT_EQ(clicks, (std::vector<std::int32_t>{1, 107, 106}));
    EXPECT_EQ(app.stepCount, 4096);
}

TEST_F(ControlPanel, EmptyScreenReassertsBothGroupsAndHoverDoesNothing) {
    app.deepOption->SetState(0);
    app.showBestOption->SetState(1);
    HandleCommand(201, EVENT_HOVER);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{205, 206}));
    Click(300, 300);
    EXPECT_EQ(Checked(), (std::vector<std::int32_t>{201, 205}));
    EXPECT_EQ(app.viewSelection, 2);
}

} // namespace
