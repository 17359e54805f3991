// Complete seeks of every start position in each order, counted per evaluated step.
#include <benchmark/benchmark.h>

#include "seek/seek.h"

namespace {

// One complete seek (ResetSeek, StepSeek(4096)) from each of the 4096 starts; returns the
// steps taken.
std::int64_t SeekEveryStart(SeekMethod method) {
    std::int64_t steps = 0;
    app.seekMethod = method;
    for (std::uint32_t index = 0; index < 4096; ++index) {
        app.startRings = {index >> 9, (index >> 6) & 7, (index >> 3) & 7, index & 7};
        ResetSeek();
        StepSeek(4096);
        steps += app.stepCount;
        benchmark::DoNotOptimize(app.bestVector);
    }
    return steps;
}

void BM_CompleteSeeksAllMethods(benchmark::State& state) {
    ResetAppState();
    std::int64_t steps = 0;
    for (auto _ : state) {
        for (SeekMethod m : {Deep, Breadth, AStar}) steps += SeekEveryStart(m);
    }
    state.SetItemsProcessed(steps);
}

void BM_CompleteSeeks(benchmark::State& state, SeekMethod method) {
    ResetAppState();
    std::int64_t steps = 0;
    for (auto _ : state) steps += SeekEveryStart(method);
    state.SetItemsProcessed(steps);
}

} // namespace

BENCHMARK(BM_CompleteSeeksAllMethods)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompleteSeeks, deep, Deep)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompleteSeeks, breadth, Breadth)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompleteSeeks, astar, AStar)->Unit(benchmark::kMillisecond);
