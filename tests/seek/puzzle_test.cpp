// Evaluation of turn vectors against the start position, and the spin's use of the generator.
#include <gtest/gtest.h>

#include "platform/crt.h"
#include "seek/seek.h"

namespace {

struct EvalCase {
    RingSet start;
    TurnVector vector;
    std::int32_t cost;
    RingSet rings;
    TurnList turns;
};

// Unsolved vectors still write their positions and turns in full.
const EvalCase kEvalCases[] = {
    {{0, 0, 0, 0}, 0x000, 0, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {{0, 0, 0, 0}, 0xFFF, 4, {7, 7, 7, 7}, {7, 7, 7, 7}},
    {{0, 0, 0, 0}, 0x001, 255, {1, 0, 0, 0}, {1, 0, 0, 0}},
    {{2, 5, 0, 7}, 0x21E, 6, {0, 0, 0, 0}, {6, 3, 0, 1}},
    {{2, 5, 0, 7}, 0x1D5, 6, {7, 7, 7, 7}, {5, 2, 7, 0}},
    {{6, 6, 6, 1}, 0xA00, 3, {6, 6, 6, 6}, {0, 0, 0, 5}},
    {{1, 3, 5, 7}, 0x0A6, 8, {7, 7, 7, 7}, {6, 4, 2, 0}},
    // Bits above 11 take no part.
    {{2, 5, 0, 7}, 0xF1D5, 6, {7, 7, 7, 7}, {5, 2, 7, 0}},
    {{0, 0, 0, 0}, 0xFFFFF000, 0, {0, 0, 0, 0}, {0, 0, 0, 0}},
};

TEST(EvaluateVector, CostPositionsAndTurns) {
    for (const EvalCase& c : kEvalCases) {
        ResetAppState();
        app.startRings = c.start;
        RingSet rings = {9, 9, 9, 9};
        TurnList turns = {9, 9, 9, 9};
        SCOPED_TRACE(::testing::Message() << "vector 0x" << std::hex << c.vector);
        EXPECT_EQ(EvaluateVector(c.vector, rings, turns), c.cost);
        EXPECT_EQ(rings, c.rings);
        EXPECT_EQ(turns, c.turns);
    }
}

TEST(SpinDiscs, DrawsFromTheWindowsGenerator) {
    ResetAppState();
    app.bestRings = {4, 4, 4, 4};
    app.bestTurns = {1, 2, 3, 4};
    // Seed 1 through state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF gives
    // 41, 18467, 6334, 26500; their low three bits are 1, 3, 6, 4.
    crt::srand(1);
    SpinDiscs();
    EXPECT_EQ(app.startRings, (RingSet{1, 3, 6, 4}));
    EXPECT_EQ(app.currentRings, app.startRings);
    // The next draws, 19169, 15724, 11478, 29358, carry on from the same generator.
    SpinDiscs();
    EXPECT_EQ(app.startRings, (RingSet{1, 4, 6, 6}));
    // Only the start and current positions are the spin's to write.
    EXPECT_EQ(app.bestRings, (RingSet{4, 4, 4, 4}));
    EXPECT_EQ(app.bestTurns, (TurnList{1, 2, 3, 4}));
    EXPECT_EQ(app.bestCost, 255);
}

} // namespace
