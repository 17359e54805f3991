// Benchmark of the program's own frame (the pinned one of tests/golden): the whole of
// RenderFrame, and its parts one by one (clear, main-view rings, inset rings, overlay
// geometry, text, present). Runs inside the live program on the headless host; prints
// "frame_ms_median <ms>" last, the median of every whole frame timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "golden/frame_scene.h"
#include "scene/scene.h"
#include "ui/overlay.h"

namespace {

std::vector<double> wholeFrameMs; // every timed whole frame, reserved before the runs

void BM_WholeFrame(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        RenderFrame();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (wholeFrameMs.size() < wholeFrameMs.capacity()) wholeFrameMs.push_back(took.count());
    }
}
BENCHMARK(BM_WholeFrame)->Unit(benchmark::kMillisecond);

// The parts, in frame order. Each runs inside a scene with the camera of the frame drawn
// before; drawing the same part again does the same work, as depth ties pass.
template <typename Part>
void InScene(benchmark::State& state, Part part) {
    app.device->BeginScene();
    for (auto _ : state) part();
    app.device->EndScene();
}

void BM_Clear(benchmark::State& state) {
    InScene(state, [] {
        app.device->SetViewport(&app.screenViewport);
        app.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
        app.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    });
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond);

void DrawRings(const RingSet& rings, std::int32_t pass) {
    for (std::int32_t i = 0; i < 4; ++i) {
        BuildRingMesh(i, static_cast<float>(rings[static_cast<std::size_t>(i)]) * 0.785f);
        DrawRingMesh(pass);
    }
}

void BM_MainRings(benchmark::State& state) {
    InScene(state, [] {
        app.device->SetViewport(&app.mainViewport);
        DrawRings(app.currentRings, 1);
    });
}
BENCHMARK(BM_MainRings)->Unit(benchmark::kMillisecond);

void BM_InsetRings(benchmark::State& state) {
    InScene(state, [] {
        app.device->SetViewport(&app.insetViewport);
        DrawRings(app.startRings, 2);
    });
}
BENCHMARK(BM_InsetRings)->Unit(benchmark::kMillisecond);

void BM_OverlayGeometry(benchmark::State& state) {
    InScene(state, [] {
        app.device->SetViewport(&app.screenViewport);
        DrawOverlay();
        FlushOverlay();
    });
}
BENCHMARK(BM_OverlayGeometry)->Unit(benchmark::kMillisecond);

void BM_Text(benchmark::State& state) {
    InScene(state, [] { DrawInfoPanel(); });
}
BENCHMARK(BM_Text)->Unit(benchmark::kMillisecond);

void BM_Present(benchmark::State& state) {
    for (auto _ : state) app.device->Present(nullptr, nullptr, nullptr, nullptr);
}
BENCHMARK(BM_Present)->Unit(benchmark::kMillisecond);

void RunBenchmarks(void*) { benchmark::RunSpecifiedBenchmarks(); }

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    wholeFrameMs.reserve(1 << 20);
    const int result = golden::WithFrame(RunBenchmarks, nullptr);
    benchmark::Shutdown();
    std::fflush(stdout);
    if (wholeFrameMs.empty()) {
        std::printf("frame_ms_median nan\n");
    } else {
        auto middle = wholeFrameMs.begin() + static_cast<std::ptrdiff_t>(wholeFrameMs.size() / 2);
        std::nth_element(wholeFrameMs.begin(), middle, wholeFrameMs.end());
        std::printf("frame_ms_median %.3f\n", *middle);
    }
    return result;
}
