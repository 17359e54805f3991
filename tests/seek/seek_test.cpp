// The seek engine: figures of known starts, the orders' coverage over every start, and the
// step and reset rules the display relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "seek/seek.h"

namespace {

void Prepare(const RingSet& start, SeekMethod method) {
    ResetAppState();
    app.startRings = start;
    app.seekMethod = method;
    ResetSeek();
}

// The vectors a fresh seek evaluates, step by step.
std::vector<TurnVector> Order(SeekMethod method) {
    Prepare({0, 0, 0, 0}, method);
    std::vector<TurnVector> out;
    for (int i = 0; i < 4096; ++i) {
        out.push_back(app.currentVector);
        StepSeek(1);
    }
    return out;
}

constexpr std::int32_t kNone = 254;

struct SeekCase {
    RingSet start;
    SeekMethod method;
    TurnVector vector;
    std::int32_t cost;
    std::uint32_t foundAfter;
};

const SeekCase kSeekCases[] = {
    {{0, 0, 0, 0}, Deep, 0x000, 0, 0},
    {{0, 0, 0, 0}, Breadth, 0x000, 0, 0},
    {{0, 0, 0, 0}, AStar, 0x000, 0, 0},
    {{2, 5, 0, 7}, Deep, 0x1D5, 6, 469},
    {{2, 5, 0, 7}, Breadth, 0x1D5, 6, 2744},
    {{2, 5, 0, 7}, AStar, 0x1D5, 6, 608},
    {{1, 3, 5, 7}, Deep, 0x0A6, 8, 166},
    {{1, 3, 5, 7}, Breadth, 0x530, 8, 418},
    {{1, 3, 5, 7}, AStar, 0x0A6, 8, 1184},
    {{6, 6, 6, 1}, Deep, 0xA00, 3, 2560},
    {{6, 6, 6, 1}, Breadth, 0xA00, 3, 5},
    {{6, 6, 6, 1}, AStar, 0xA00, 3, 128},
    {{0, 2, 2, 5}, AStar, 0x7B0, 7, 1118},
    {{0, 3, 3, 5}, AStar, 0x000, kNone, 0},
};

TEST(StepSeek, CompleteSeeksOfKnownStarts) {
    for (const SeekCase& c : kSeekCases) {
        Prepare(c.start, c.method);
        StepSeek(4096);
        SCOPED_TRACE(::testing::Message() << "method " << c.method << " start " << c.start[0]
                                          << c.start[1] << c.start[2] << c.start[3]);
        EXPECT_EQ(app.stepCount, 4096);
        EXPECT_EQ(app.bestVector, c.vector);
        EXPECT_EQ(app.bestCost, c.cost);
        EXPECT_EQ(app.foundAfter, c.foundAfter);
        // The best records describe the best vector.
        RingSet rings;
        TurnList turns;
        EvaluateVector(c.vector, rings, turns);
        EXPECT_EQ(app.bestRings, rings);
        EXPECT_EQ(app.bestTurns, turns);
    }
}

TEST(StepSeek, DeepAndBreadthVisitEveryVectorOnce) {
    for (SeekMethod m : {Deep, Breadth}) {
        std::vector<TurnVector> order = Order(m);
        std::sort(order.begin(), order.end());
        for (TurnVector v = 0; v < 4096; ++v) ASSERT_EQ(order[v], v) << "method " << m;
    }
}

TEST(StepSeek, BreadthCountsWithRingThreeFastest) {
    const std::vector<TurnVector> order = Order(Breadth);
    const TurnVector first[] = {0x000, 0x200, 0x400, 0x600, 0x800, 0xA00, 0xC00, 0xE00, 0x040, 0x240};
    for (std::size_t i = 0; i < std::size(first); ++i) EXPECT_EQ(order[i], first[i]);
    EXPECT_EQ(order[512], 0x001u);
    EXPECT_EQ(order[4095], 0xFFFu);
    // The successor of the last vector wraps to 0; Deep runs on to 4096 instead.
    EXPECT_EQ(app.currentVector, 0u);
    Order(Deep);
    EXPECT_EQ(app.currentVector, 4096u);
}

TEST(StepSeek, AStarRepeatsItsLastVectorOnceExhausted) {
    const std::vector<TurnVector> order = Order(AStar);
    EXPECT_EQ(order[0], 0u);
    EXPECT_EQ(order[1], 0x001u);
    for (int step = 1371; step < 4096; ++step) ASSERT_EQ(order[step], 0x900u) << step;
    EXPECT_NE(order[1370], 0x900u);
}

// Over every start: Deep and Breadth always end with a cheapest solution; AStar misses
// 80 starts altogether and settles for a dearer one on 128.
TEST(StepSeek, EveryStartAgainstItsCheapestSolution) {
    int astarNone = 0;
    int astarDearer = 0;
    for (std::uint32_t index = 0; index < 4096; ++index) {
        const RingSet start = {index >> 9, (index >> 6) & 7, (index >> 3) & 7, index & 7};
        Prepare(start, Deep);
        std::int32_t cheapest = 255;
        RingSet rings;
        TurnList turns;
        for (TurnVector v = 0; v < 4096; ++v) cheapest = std::min(cheapest, EvaluateVector(v, rings, turns));
        ASSERT_LE(cheapest, 8);
        for (SeekMethod m : {Deep, Breadth, AStar}) {
            Prepare(start, m);
            StepSeek(4096);
            if (m != AStar) ASSERT_EQ(app.bestCost, cheapest) << "start " << index;
            else if (app.bestCost == kNone) ++astarNone;
            else if (app.bestCost > cheapest) ++astarDearer;
        }
    }
    EXPECT_EQ(astarNone, 80);
    EXPECT_EQ(astarDearer, 128);
}

TEST(StepSeek, FirstStepAfterReset) {
    const struct {
        SeekMethod method;
        TurnVector next;
    } cases[] = {{Deep, 0x001}, {Breadth, 0x200}, {AStar, 0x001}};
    for (const auto& c : cases) {
        Prepare({2, 5, 0, 7}, c.method);
        EXPECT_EQ(app.bestCost, 255);
        StepSeek(1);
        EXPECT_EQ(app.stepCount, 1);
        EXPECT_EQ(app.currentVector, c.next);
        // Vector 0 does not solve this start: stepped, nothing solved yet.
        EXPECT_EQ(app.bestCost, kNone);
        EXPECT_EQ(app.currentRings, app.startRings);
    }
}

TEST(StepSeek, StopsAtTheLimitAndThenOnlyRefreshesBest) {
    Prepare({2, 5, 0, 7}, Breadth);
    StepSeek(4095);
    EXPECT_EQ(app.stepCount, 4095);
    StepSeek(4096);
    EXPECT_EQ(app.stepCount, 4096);
    const TurnVector next = app.currentVector;
    const TurnVector best = app.bestVector;
    app.currentRings = {9, 9, 9, 9};
    app.bestRings = {9, 9, 9, 9};
    app.bestTurns = {9, 9, 9, 9};
    StepSeek(10);
    EXPECT_EQ(app.stepCount, 4096);
    EXPECT_EQ(app.currentVector, next);
    EXPECT_EQ(app.bestVector, best);
    EXPECT_EQ(app.currentRings, (RingSet{9, 9, 9, 9}));
    EXPECT_EQ(app.bestRings, (RingSet{7, 7, 7, 7}));
    EXPECT_EQ(app.bestTurns, (TurnList{5, 2, 7, 0}));
}

TEST(ResetSeek, ReturnsToNotStartedButKeepsFoundAfter) {
    Prepare({6, 6, 6, 1}, AStar);
    StepSeek(300);
    ResetSeek();
    EXPECT_EQ(app.stepCount, 0);
    EXPECT_EQ(app.bestCost, 255);
    EXPECT_EQ(app.bestVector, 0u);
    EXPECT_EQ(app.currentVector, 0u);
    EXPECT_EQ(app.foundAfter, 128u);
    EXPECT_EQ(app.currentRings, app.startRings);
    EXPECT_EQ(app.bestRings, app.startRings);
    EXPECT_EQ(app.currentTurns, (TurnList{0, 0, 0, 0}));
    EXPECT_EQ(app.treeEnumerator.depth, 0u);
    // The restarted enumerator yields its order from the beginning again.
    StepSeek(2);
    EXPECT_EQ(app.currentVector, 0x007u);
}

} // namespace
