// The A-STAR enumerator: its order by depth, its first vectors, the filter's quirks and
// what happens once it runs out.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "seek/seek.h"

namespace {

constexpr int kTreeVectors = 1374;

struct Visit {
    TurnVector vector;
    std::uint32_t depth;
};

// Every vector the enumerator yields, in order; entry i is what seek step i + 1 evaluates.
std::vector<Visit> RunTree() {
    ResetAppState();
    RestartTree();
    std::vector<Visit> out;
    for (int i = 0; i < kTreeVectors; ++i) {
        AdvanceTree();
        out.push_back({TreeVector(), app.treeEnumerator.depth});
    }
    return out;
}

std::int32_t MovesOf(TurnVector v) {
    std::int32_t cost = 0;
    for (int r = 0; r < 4; ++r) {
        const std::int32_t t = (v >> (3 * r)) & 7;
        cost += std::min(t, 8 - t);
    }
    return cost;
}

TEST(TreeEnumerator, DepthsComeInOrderWithKnownSizesAndFirstSteps) {
    const std::vector<Visit> visits = RunTree();
    const int sizes[8] = {8, 32, 88, 192, 274, 292, 276, 212};
    const int firstSteps[8] = {1, 9, 41, 129, 321, 595, 887, 1163};
    int step = 1;
    for (std::uint32_t depth = 1; depth <= 8; ++depth) {
        EXPECT_EQ(step, firstSteps[depth - 1]) << "depth " << depth;
        for (int n = 0; n < sizes[depth - 1]; ++n, ++step) {
            ASSERT_EQ(visits[step - 1].depth, depth) << "step " << step;
        }
    }
    EXPECT_EQ(step - 1, kTreeVectors);
    EXPECT_EQ(app.treeEnumerator.exhausted, 0u);
}

TEST(TreeEnumerator, KnownVectorsAtKnownSteps) {
    const std::vector<Visit> visits = RunTree();
    const struct {
        int step;
        std::vector<TurnVector> vectors;
    } runs[] = {
        {1, {0x001, 0x007, 0x008, 0x038, 0x040, 0x1C0, 0x200, 0xE00}},
        // Move set (1, 0) comes third at depth 2: 0x009, 0x00F, 0x039, 0x03F.
        {9, {0x002, 0x006, 0x009, 0x00F, 0x039, 0x03F, 0x041, 0x047, 0x1C1, 0x1C7, 0x201,
             0x207, 0xE01, 0xE07, 0x010, 0x030, 0x048, 0x078}},
        {41, {0x003, 0x005, 0x00A, 0x00E}},
        {129, {0x004}},
        // Depth 5 starts from (0, 0, 0, 0, 1): ring 1's sign pattern repeats the vector.
        {321, {0x00C, 0x00C, 0x03C, 0x03C, 0x013, 0x015}},
        // A ring the previous set left alone escapes the filter and turns by five.
        {577, {0x140, 0x0C0}},
        {1371, {0x900, 0x900, 0x900, 0x900}},
    };
    for (const auto& run : runs) {
        for (std::size_t i = 0; i < run.vectors.size(); ++i) {
            const int step = run.step + static_cast<int>(i);
            EXPECT_EQ(visits[step - 1].vector, run.vectors[i]) << "step " << step;
        }
    }
}

TEST(TreeEnumerator, ShallowDepthsCoverEveryCheapVectorAtItsCost) {
    const std::vector<Visit> visits = RunTree();
    std::set<TurnVector> shallow;
    int depth4 = 0;
    int cheaperThanDepth = 0;
    for (const Visit& v : visits) {
        if (v.depth <= 4) {
            EXPECT_EQ(MovesOf(v.vector), static_cast<std::int32_t>(v.depth));
            shallow.insert(v.vector);
            depth4 += v.depth == 4;
        } else if (MovesOf(v.vector) < static_cast<std::int32_t>(v.depth)) {
            ++cheaperThanDepth;
        }
    }
    int cheapVectors = 0;
    for (TurnVector v = 0; v < 4096; ++v) cheapVectors += MovesOf(v) >= 1 && MovesOf(v) <= 4;
    EXPECT_EQ(static_cast<int>(shallow.size()), cheapVectors);
    // +4 and -4 on one ring are the same vector: 192 yields, 188 distinct.
    EXPECT_EQ(depth4, 192);
    EXPECT_EQ(cheaperThanDepth, 14);
}

TEST(TreeEnumerator, ExhaustionKeepsTheLastVector) {
    RunTree();
    AdvanceTree();
    EXPECT_EQ(app.treeEnumerator.exhausted, 1u);
    for (int i = 0; i < 50; ++i) {
        AdvanceTree();
        EXPECT_EQ(TreeVector(), 0x900u);
        EXPECT_EQ(app.treeEnumerator.depth, 8u);
    }
}

TEST(TreeEnumerator, RestartBeginsAgainAtDepthOne) {
    ResetAppState();
    RestartTree();
    EXPECT_EQ(TreeVector(), 0u);
    for (int i = 0; i < 200; ++i) AdvanceTree();
    RestartTree();
    EXPECT_EQ(app.treeEnumerator.depth, 0u);
    EXPECT_EQ(TreeVector(), 0u);
    AdvanceTree();
    EXPECT_EQ(app.treeEnumerator.depth, 1u);
    EXPECT_EQ(TreeVector(), 0x001u);
    // And after exhaustion too.
    RunTree();
    AdvanceTree();
    RestartTree();
    AdvanceTree();
    EXPECT_EQ(TreeVector(), 0x001u);
}

TEST(TreeEnumerator, MoveSetsCountAsNonIncreasingSequences) {
    ResetAppState();
    TreeEnumerator& t = app.treeEnumerator;
    t.depth = 2;
    ResetMoves();
    const std::uint32_t order[][2] = {{1, 0}, {2, 0}, {3, 0}, {1, 1}, {2, 1},
                                      {3, 1}, {2, 2}, {3, 2}, {3, 3}};
    for (const auto& set : order) {
        ASSERT_EQ(NextMoveSet(0), 0u);
        EXPECT_EQ(t.moveRing[0], set[0]);
        EXPECT_EQ(t.moveRing[1], set[1]);
    }
    EXPECT_NE(NextMoveSet(0), 0u);
    EXPECT_EQ(t.moveRing[0], 3u);
    EXPECT_EQ(t.moveRing[1], 3u);
}

TEST(TreeEnumerator, SignPatternsCountInBinaryOverUsedRings) {
    ResetAppState();
    TreeEnumerator& t = app.treeEnumerator;
    // Moves on rings 0 and 2: ring 1 and 3 stay unused throughout.
    t.depth = 2;
    t.moveRing[0] = 2;
    t.moveRing[1] = 0;
    ResetDirections();
    EXPECT_EQ(TreeVector(), 0x041u);
    const TurnVector expected[] = {0x047, 0x1C1, 0x1C7};
    for (TurnVector v : expected) {
        ASSERT_EQ(AdvanceDirections(), 0u);
        EXPECT_EQ(TreeVector(), v);
    }
    EXPECT_NE(AdvanceDirections(), 0u);
    const std::uint32_t lastPattern[4] = {2, 0, 2, 0};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(t.direction[r], lastPattern[r]);
}

} // namespace
