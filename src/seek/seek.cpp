// The seek engine: runs through turn vectors in the order in force and keeps the cheapest
// solving vector with the step that found it.
#include "seek/seek.h"

namespace {

// Below every real cost, above "not stepped": marks a seek that has stepped but solved nothing.
constexpr std::int32_t kNothingSolved = 254;
constexpr std::int32_t kNotStepped = 255;

// Reverses the four 3-bit digits of the low twelve bits.
TurnVector ReverseDigits(TurnVector v) {
    return ((v >> 9) & 7u) | (((v >> 6) & 7u) << 3) | (((v >> 3) & 7u) << 6) | ((v & 7u) << 9);
}

} // namespace

void ResetSeek() {
    app.bestVector = 0;
    app.bestCost = kNotStepped;
    app.currentVector = 0;
    app.stepCount = 0;
    EvaluateVector(0, app.currentRings, app.currentTurns);
    EvaluateVector(0, app.bestRings, app.bestTurns);
    RestartTree();
}

void NextVector() {
    switch (app.seekMethod) {
    case Deep:
        app.currentVector += 1;
        break;
    case Breadth:
        app.currentVector = ReverseDigits(ReverseDigits(app.currentVector) + 1);
        break;
    case AStar:
        AdvanceTree();
        app.currentVector = TreeVector();
        break;
    }
    app.stepCount += 1;
}

void StepSeek(std::int32_t n) {
    if (app.bestCost == kNotStepped) app.bestCost = kNothingSolved;
    for (std::int32_t i = 0; app.stepCount <= app.stepLimit - 1 && i < n; ++i) {
        const TurnVector v = app.currentVector;
        const std::int32_t c = EvaluateVector(v, app.currentRings, app.currentTurns);
        if (c < app.bestCost) {
            app.bestVector = v;
            app.bestCost = c;
            app.foundAfter = static_cast<std::uint32_t>(app.stepCount);
        }
        NextVector();
    }
    EvaluateVector(app.bestVector, app.bestRings, app.bestTurns);
}
