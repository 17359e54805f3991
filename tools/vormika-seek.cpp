// vormika-seek: runs the seek engine on the command line for chosen start positions and
// methods, traces one seek step by step, or compares the three orders over every start.
#include <cstdint>
#include <cstdio>
#include <string>

#include "seek/arguments.h"
#include "seek/seek.h"

namespace {

using seektool::kMethods;
using seektool::kVectors;
using seektool::MethodName;
using seektool::Options;

constexpr int kExitUsage = 2;
constexpr std::int32_t kPositions = 8;
constexpr std::int32_t kStarts = 4096;
// Costs above this are the engine's markers for "nothing solved", never a real cost.
constexpr std::int32_t kLargestCost = 200;

const char* const kUsage =
    "usage: vormika-seek (--start A,B,C,D | --all) [--method M] [--steps N] [--trace]\n"
    "       vormika-seek --summary [--method M] [--steps N]\n"
    "\n"
    "Runs complete seeks of the ring puzzle and prints one line per start position and\n"
    "method:  A B C D METHOD VECTOR COST FOUND_AFTER  (VECTOR COST FOUND_AFTER are\n"
    "'none - -' when no solving vector was seen).\n"
    "\n"
    "  --start A,B,C,D  one start position, ring 0 first, each 0 to 7\n"
    "  --all            every start position, 0,0,0,0 to 7,7,7,7 (ring 3 counts fastest)\n"
    "  --method M       deep, breadth, astar or all (default all, in that order)\n"
    "  --steps N        steps per seek, 1 to 4096 (default 4096)\n"
    "  --trace          one line per step: STEP VECTOR COST BEST BEST_COST ('-' where\n"
    "                   nothing solves); needs one start and one method\n"
    "  --summary        per method over all 4096 starts: how many end with a cheapest\n"
    "                   solution, a dearer one or none, and the mean and largest step at\n"
    "                   which the final best was found (over the starts it solved)\n"
    "  --help           this text\n";

// Whether a --method choice (0 = all three) takes in method m.
bool Chosen(std::int32_t choice, SeekMethod m) {
    return choice == 0 || choice == static_cast<std::int32_t>(m);
}

// A fresh program state with the given start and method, seek reset.
void Prepare(const RingSet& start, SeekMethod method) {
    ResetAppState();
    app.startRings = start;
    app.seekMethod = method;
    ResetSeek();
}

void RunSeek(const RingSet& start, SeekMethod method, std::int32_t steps) {
    Prepare(start, method);
    StepSeek(steps);
}

void PrintResult(const RingSet& s, SeekMethod method) {
    std::printf("%u %u %u %u %s ", s[0], s[1], s[2], s[3], MethodName(method));
    if (app.bestCost > kLargestCost) std::printf("none - -\n");
    else std::printf("0x%03X %d %u\n", app.bestVector, app.bestCost, app.foundAfter);
}

void PrintCost(std::int32_t cost) {
    if (cost > kLargestCost) std::printf(" -");
    else std::printf(" %d", cost);
}

void Trace(const RingSet& start, SeekMethod method, std::int32_t steps) {
    Prepare(start, method);
    RingSet rings = {};
    TurnList turns = {};
    for (std::int32_t i = 0; i < steps; ++i) {
        const std::int32_t index = app.stepCount;
        const TurnVector v = app.currentVector;
        StepSeek(1);
        std::printf("%d 0x%03X", index, v);
        PrintCost(EvaluateVector(v, rings, turns));
        if (app.bestCost > kLargestCost) std::printf(" -");
        else std::printf(" 0x%03X", app.bestVector);
        PrintCost(app.bestCost);
        std::printf("\n");
    }
    PrintResult(start, method);
}

RingSet StartOf(std::int32_t index) {
    // Ring 3 counts fastest: the index's lowest octal digit is ring 3's position.
    RingSet s = {};
    for (std::int32_t ring = 3; ring >= 0; --ring) {
        s[ring] = static_cast<std::uint32_t>(index % kPositions);
        index /= kPositions;
    }
    return s;
}

// The true cheapest cost of a start, by evaluating every vector.
std::int32_t CheapestCost(const RingSet& start) {
    ResetAppState();
    app.startRings = start;
    RingSet rings = {};
    TurnList turns = {};
    std::int32_t best = 255;
    for (TurnVector v = 0; v < kVectors; ++v) {
        const std::int32_t c = EvaluateVector(v, rings, turns);
        if (c < best) best = c;
    }
    return best;
}

struct Tally {
    std::int32_t cheapest = 0;
    std::int32_t dearer = 0;
    std::int32_t none = 0;
    std::uint64_t foundSum = 0;
    std::uint32_t foundMax = 0;
};

void Summarise(std::int32_t methodChoice, std::int32_t steps) {
    Tally tally[3];
    for (std::int32_t index = 0; index < kStarts; ++index) {
        const RingSet start = StartOf(index);
        const std::int32_t cheapest = CheapestCost(start);
        for (int m = 0; m < 3; ++m) {
            if (!Chosen(methodChoice, kMethods[m])) continue;
            RunSeek(start, kMethods[m], steps);
            Tally& t = tally[m];
            if (app.bestCost > kLargestCost) {
                ++t.none;
                continue;
            }
            if (app.bestCost == cheapest) ++t.cheapest;
            else ++t.dearer;
            t.foundSum += app.foundAfter;
            if (app.foundAfter > t.foundMax) t.foundMax = app.foundAfter;
        }
    }
    std::printf("%-8s %9s %7s %5s %11s %10s\n", "METHOD", "CHEAPEST", "DEARER", "NONE",
                "MEAN_FOUND", "MAX_FOUND");
    for (int m = 0; m < 3; ++m) {
        if (!Chosen(methodChoice, kMethods[m])) continue;
        const Tally& t = tally[m];
        const std::int32_t solved = t.cheapest + t.dearer;
        const double mean = solved > 0 ? static_cast<double>(t.foundSum) / solved : 0.0;
        std::printf("%-8s %9d %7d %5d %11.1f %10u\n", MethodName(kMethods[m]), t.cheapest,
                    t.dearer, t.none, mean, t.foundMax);
    }
}

void RunStarts(const Options& o) {
    const std::int32_t first = o.all ? 0 : -1;
    const std::int32_t count = o.all ? kStarts : 1;
    for (std::int32_t i = 0; i < count; ++i) {
        const RingSet start = first < 0 ? o.start : StartOf(first + i);
        for (SeekMethod m : kMethods) {
            if (!Chosen(o.method, m)) continue;
            RunSeek(start, m, o.steps);
            PrintResult(start, m);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!seektool::ParseArguments(argc, argv, o, error)) {
        std::fprintf(stderr, "vormika-seek: %s (try --help)\n", error.c_str());
        return kExitUsage;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.summary) Summarise(o.method, o.steps);
    else if (o.trace) Trace(o.start, static_cast<SeekMethod>(o.method), o.steps);
    else RunStarts(o);
    return 0;
}
