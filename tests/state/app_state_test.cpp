#include <gtest/gtest.h>

#include "state/app_state.h"

TEST(AppState, LayoutIsDerivedFromTheScreenBeforeStartUp) {
    ResetAppState();
    EXPECT_EQ(app.insetViewport.X, 814u);
    EXPECT_EQ(app.infoFrame.right, 809);
    EXPECT_EQ(app.seekMethodFrame.left, 605);
    EXPECT_EQ(app.seekMethodFrame.right, 809);
    EXPECT_EQ(app.viewSelectFrame.left, 605);
    EXPECT_EQ(app.viewSelectFrame.top, 105);
    EXPECT_EQ(app.viewSelectFrame.right, 809);
    EXPECT_EQ(app.viewSelectFrame.bottom, 205);
    EXPECT_EQ(app.screenViewport.Width, 1024u);
    EXPECT_EQ(app.screenViewport.Height, 768u);
}

TEST(AppState, ResetPutsBackEveryChangedField) {
    app.bestCost = 3;
    app.viewSelection = 1;
    app.eventList.PushEvent(1, EVENT_HOVER);
    app.mouseSpeedX = 1.6f;
    ResetAppState();
    EXPECT_EQ(app.bestCost, 255);
    EXPECT_EQ(app.viewSelection, 2);
    EXPECT_EQ(app.eventList.Size(), 0u);
    EXPECT_EQ(app.mouseSpeedX, 1.0f);
}

TEST(EventList, TakesNewestFirstAndCountsDown) {
    EventList list;
    list.PushEvent(101, EVENT_HOVER);
    list.PushEvent(101, EVENT_CLICK);
    list.PushEvent(1, EVENT_HOVER);
    list.PushEvent(1, EVENT_CLICK);
    std::int32_t id = 0, code = 0;
    const std::int32_t expected[4][3] = {
        {4, 1, EVENT_CLICK}, {3, 1, EVENT_HOVER}, {2, 101, EVENT_CLICK}, {1, 101, EVENT_HOVER}};
    for (const auto& e : expected) {
        EXPECT_EQ(list.TakeEvent(&id, &code), e[0]);
        EXPECT_EQ(id, e[1]);
        EXPECT_EQ(code, e[2]);
    }
    id = 7;
    EXPECT_EQ(list.TakeEvent(&id, nullptr), 0);
    EXPECT_EQ(id, 7);
}

TEST(EventList, DropsPushesBeyondItsCapacity) {
    EventList list;
    for (std::uint32_t i = 0; i < EventList::kCapacity + 10; ++i) {
        list.PushEvent(static_cast<std::int32_t>(i), EVENT_HOVER);
    }
    EXPECT_EQ(list.Size(), EventList::kCapacity);
}
