// The disc scene's per-frame work: ring mesh builds.
#include <benchmark/benchmark.h>

#include "scene/scene.h"
#include "state/app_state.h"

namespace {

// One frame builds eight meshes; without a device the build stops short of the upload.
void BM_BuildRingMesh(benchmark::State& state) {
    ResetAppState();
    CreateRingStorage();
    float angle = 0.0f;
    for (auto _ : state) {
        BuildRingMesh(3, angle);
        benchmark::DoNotOptimize(app.ringVertices[2815]);
        angle += 0.785f;
    }
    state.SetItemsProcessed(state.iterations() * app.ringVertexCount);
    delete[] app.ringVertices;
    ResetAppState();
}
BENCHMARK(BM_BuildRingMesh);

} // namespace
