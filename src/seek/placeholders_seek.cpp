// Temporary definitions so that everything links while the seek is written; each goes
// when its real definition lands.
#include "seek/seek.h"

std::int32_t EvaluateVector(TurnVector, RingSet&, TurnList&) { return 255; }
void SpinDiscs() {}
void ResetSeek() {}
void NextVector() {}
void StepSeek(std::int32_t) {}
void RestartTree() {}
void AdvanceTree() {}
TurnVector TreeVector() { return 0; }
void RecountTurns() {}
void ResetDirections() {}
void ResetMoves() {}
std::uint32_t NextDirections(std::uint32_t) { return 1; }
std::uint32_t AdvanceDirections() { return 1; }
std::uint32_t NextMoveSet(std::uint32_t) { return 1; }
std::uint32_t AdvanceMoveSet() { return 1; }
