// vormika-seek's command line: what it asks for, read without printing or exiting, so
// that it can be checked (and fuzzed) on its own.
#pragma once

#include <cstdint>
#include <string>

#include "state/app_state.h"

namespace seektool {

constexpr std::int32_t kVectors = 4096;

struct Options {
    bool haveStart = false;
    bool all = false;
    RingSet start = {};
    bool haveMethod = false;
    std::int32_t method = 0;  // 0 = all three
    bool haveSteps = false;
    std::int32_t steps = kVectors;
    bool trace = false;
    bool summary = false;
    bool help = false;
};

// Reads argv[1..argc-1]. False for a bad command line, with the reason in `error`
// ("--steps given twice"); after --help the rest is not read.
bool ParseArguments(int argc, const char* const* argv, Options& options, std::string& error);

// "deep", "breadth" or "astar".
const char* MethodName(SeekMethod method);

// The three methods in the order the tool runs them.
extern const SeekMethod kMethods[3];

} // namespace seektool
