// The disc scene's per-frame work: ring mesh builds, and the eight ring draws of a frame on
// the real device.
#include <benchmark/benchmark.h>

#include "platform/d3d8_ext.h"
#include "platform/host/headless.h"
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

// The scene's share of a frame: clear, then four textured rings in the main view and four
// plain ones in the inset, each built, uploaded and drawn.
void BM_SceneFrame(benchmark::State& state) {
    ResetAppState();
    host::HeadlessHost headless;
    host::Install(&headless);
    IDirect3D8* d3d = nullptr;
    d3d8ext::CreateScreenDevice(1024, 768, &d3d, &app.device);
    app.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    CreateSceneResources();
    app.startRings = {1, 3, 5, 7};
    app.currentRings = {2, 4, 6, 0};
    for (auto _ : state) {
        app.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        app.device->BeginScene();
        for (int view = 0; view < 2; ++view) {
            const RingSet& rings = view == 0 ? app.currentRings : app.startRings;
            app.device->SetViewport(view == 0 ? &app.mainViewport : &app.insetViewport);
            for (int i = 0; i < 4; ++i) {
                BuildRingMesh(i, static_cast<float>(rings[std::size_t(i)]) * 0.785f);
                DrawRingMesh(view + 1);
            }
        }
        app.device->EndScene();
    }
    app.discTexture->Release();
    app.ringVertexBuffer->Release();
    delete[] app.ringVertices;
    app.device->Release();
    d3d->Release();
    ResetAppState();
    host::Install(nullptr);
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMillisecond);

} // namespace
