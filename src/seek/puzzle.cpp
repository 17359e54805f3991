// The ring puzzle: evaluation of one turn vector against the start position, and the spin.
#include "platform/crt.h"
#include "seek/seek.h"

std::int32_t EvaluateVector(TurnVector vector, RingSet& outRings, TurnList& outTurns) {
    std::int32_t cost = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::uint32_t t = (vector >> (3 * i)) & 7u;
        outTurns[i] = t;
        std::uint32_t p = app.startRings[i] + t;
        if (p > 7) p -= 8;
        outRings[i] = p;
        // Price of the shorter way around the ring.
        std::int32_t d = static_cast<std::int32_t>(app.startRings[i]) - static_cast<std::int32_t>(p);
        if (d < 0) d = -d;
        if (d > 4) d = 8 - d;
        cost += d;
    }
    const bool solved =
        outRings[0] == outRings[1] && outRings[1] == outRings[2] && outRings[2] == outRings[3];
    return solved ? cost : 255;
}

void SpinDiscs() {
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::uint32_t p = static_cast<std::uint32_t>(crt::rand()) % 8u;
        app.startRings[i] = p;
        app.currentRings[i] = p;
    }
}
