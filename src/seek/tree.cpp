// The A-STAR order's enumerator: move sets by increasing size, each with every sign pattern
// of the rings it uses, turned into turn vectors.
#include "seek/seek.h"

namespace {

TreeEnumerator& tree() { return app.treeEnumerator; }

// A negative net turn is the same ring movement as its positive complement.
std::uint32_t RingDigit(std::int32_t n) { return static_cast<std::uint32_t>(n < 0 ? n + 8 : n); }

bool WithinFourMoves() {
    for (std::int32_t n : tree().netTurn) {
        if (n > 4 || n < -4) return false;
    }
    return true;
}

} // namespace

void RestartTree() {
    tree().depth = 0;
    tree().exhausted = 0;
    ResetMoves();
}

void RecountTurns() {
    TreeEnumerator& t = tree();
    for (std::int32_t& n : t.netTurn) n = 0;
    for (std::uint32_t k = 0; k < t.depth; ++k) {
        const std::uint32_t r = t.moveRing[k];
        if (t.direction[r] == 1) t.netTurn[r] += 1;
        else if (t.direction[r] == 2) t.netTurn[r] -= 1;
    }
}

void ResetDirections() {
    TreeEnumerator& t = tree();
    for (std::uint32_t& d : t.direction) d = 1;
    RecountTurns();
    for (std::uint32_t r = 0; r < 4; ++r) {
        if (t.netTurn[r] == 0) t.direction[r] = 0;
    }
}

void ResetMoves() {
    TreeEnumerator& t = tree();
    // Moves 4 to 7 start at ring 1, so the first set of five or more moves is not all ring 0.
    for (std::uint32_t k = 0; k < 8; ++k) t.moveRing[k] = k < 4 ? 0 : 1;
    ResetDirections();
}

TurnVector TreeVector() {
    RecountTurns();
    TurnVector v = 0;
    for (std::uint32_t r = 0; r < 4; ++r) v |= RingDigit(tree().netTurn[r]) << (3 * r);
    return v;
}

// Binary counting over the used rings, ring 0 the lowest digit, direction 2 the digit 1.
std::uint32_t NextDirections(std::uint32_t r) {
    TreeEnumerator& t = tree();
    while (r < 4 && t.direction[r] == 0) ++r;
    if (r == 4) return 1;
    if (t.direction[r] == 1) {
        t.direction[r] = 2;
        return 0;
    }
    if (NextDirections(r + 1) != 0) return 1;
    t.direction[r] = 1;
    return 0;
}

std::uint32_t AdvanceDirections() {
    const std::uint32_t f = NextDirections(0);
    RecountTurns();
    return f;
}

// Counting with move 0 the fastest digit; a carried digit restarts at the next digit's new
// value, so every non-increasing ring sequence comes once.
std::uint32_t NextMoveSet(std::uint32_t k) {
    TreeEnumerator& t = tree();
    if (k == t.depth) return 1;
    if (t.moveRing[k] < 3) {
        ++t.moveRing[k];
        return 0;
    }
    if (NextMoveSet(k + 1) != 0) return 1;
    t.moveRing[k] = t.moveRing[k + 1];
    return 0;
}

std::uint32_t AdvanceMoveSet() {
    TreeEnumerator& t = tree();
    TreeEnumerator saved = t;
    for (;;) {
        // The filter counts with the directions the previous set left behind, so a ring that
        // set did not use is not held to four moves.
        const std::uint32_t f = NextMoveSet(0);
        RecountTurns();
        if (WithinFourMoves()) {
            ResetDirections();
            RecountTurns();
            return f;
        }
        if (f == 0) continue;
        for (std::uint32_t k = 0; k < 8; ++k) t.moveRing[k] = saved.moveRing[k];
        for (std::uint32_t r = 0; r < 4; ++r) t.direction[r] = saved.direction[r];
        RecountTurns();
        return f;
    }
}

void AdvanceTree() {
    TreeEnumerator& t = tree();
    if (t.exhausted != 0) return;
    if (t.depth == 0) {
        t.depth = 1;
        ResetMoves();
        RecountTurns();
        return;
    }
    if (AdvanceDirections() == 0 || AdvanceMoveSet() == 0) {
        RecountTurns();
        return;
    }
    if (t.depth < 8) {
        ++t.depth;
        ResetMoves();
    } else {
        t.exhausted = 1;
    }
    RecountTurns();
}
