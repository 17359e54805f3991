// The seek: the ring puzzle and its evaluation, the three seek orders with the best-so-far
// record, and the A-STAR enumerator behind the third order.
#pragma once

#include <cstdint>

#include "state/app_state.h"

// Measures vector against startRings; writes the reached positions and the four turns;
// returns the cost, or 255 when the rings do not all meet.
std::int32_t EvaluateVector(TurnVector vector, RingSet& outRings, TurnList& outTurns);
// A new random start position (callers reset the seek first).
void SpinDiscs();

void ResetSeek();
void NextVector();
void StepSeek(std::int32_t n);

// A-STAR enumerator, on app.treeEnumerator.
void RestartTree();
void AdvanceTree();
TurnVector TreeVector();

// The enumerator's inner operations, exposed for tests.
void RecountTurns();
void ResetDirections();
void ResetMoves();
std::uint32_t NextDirections(std::uint32_t r);
std::uint32_t AdvanceDirections();
std::uint32_t NextMoveSet(std::uint32_t k);
std::uint32_t AdvanceMoveSet();
