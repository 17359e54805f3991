// Ring geometry: the one shared vertex array and buffer, the per-ring mesh build, and the
// two vertex-buffer helpers the overlay uses as well.
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <emmintrin.h>
#define RING_MESH_LANES 1
#else
#define RING_MESH_LANES 1
#endif

#include "scene/scene.h"
#include "state/app_state.h"

namespace {

// Cross-section of the tube: radial half-width and vertical half-height.
constexpr float kTubeHalfWidth = 0.135f;
constexpr float kTubeHalfHeight = 0.04f;
// A full turn as the program takes it, and the factors derived from it.
constexpr float kFullTurn = 6.283f;
constexpr float kTexturePerTurn = 1.2732770f;  // the tile repeats once per sector
constexpr float kPerTurn = 0.15915963f;
constexpr float kSectorFactor = 1.2732f;
// Room for one segment's strip of steps: M + 2 with M at most this minus 2.
constexpr int kMaxTubeSteps = 64;

struct TubeStep {
    float r;       // distance from the axis
    float cosPsi;
    float height;  // also the normal's vertical component
    float v;
};

[[maybe_unused]] void WriteVertex(RingVertex& out, float cs, float sn, const TubeStep& step, D3DCOLOR colour,
                 float phi) {
    out.x = cs * step.r;
    out.y = step.height;
    out.z = -sn * step.r;
    out.nx = cs * step.cosPsi;
    out.ny = step.height;
    out.nz = -sn * step.cosPsi;
    out.diffuse = colour;
    out.u0 = phi * kTexturePerTurn;
    out.v0 = step.v;
    out.u1 = phi * kPerTurn;
    out.v1 = step.v;
}

#if RING_MESH_LANES
// One segment's strip with its vertices made four floats at a time: each lane is the same
// product (or copy) WriteVertex makes, its factors in the same order, so the floats are too.
// A step's part: (r, height, r, cosPsi), (height, cosPsi, 0, 0) and (v, 0, v, 0).
struct StepLanes {
    __m128 a, b, c;
};

static_assert(offsetof(RingVertex, y) == 4 && offsetof(RingVertex, nx) == 12 &&
              offsetof(RingVertex, ny) == 16 && offsetof(RingVertex, diffuse) == 24 &&
              offsetof(RingVertex, u0) == 28 && offsetof(RingVertex, v0) == 32 &&
              offsetof(RingVertex, v1) == 40);

// A column's part: what its steps are multiplied by, and the lanes it adds of its own.
struct ColumnLanes {
    __m128 a, b, tail, u1;
};

ColumnLanes Column(float cs, float sn, D3DCOLOR colour, float phi) {
    float diffuse;
    std::memcpy(&diffuse, &colour, sizeof diffuse);
    // Zeros in the lanes the step's products leave to the column, which ORs its own in.
    return {_mm_setr_ps(cs, 1.0f, -sn, cs), _mm_setr_ps(1.0f, -sn, 0.0f, 0.0f),
            _mm_setr_ps(0.0f, 0.0f, diffuse, phi * kTexturePerTurn),
            _mm_setr_ps(0.0f, phi * kPerTurn, 0.0f, 0.0f)};
}

inline void WriteLanes(RingVertex& out, const ColumnLanes& column, const StepLanes& step) {
    float* at = &out.x;
    _mm_storeu_ps(at, _mm_mul_ps(column.a, step.a));
    _mm_storeu_ps(at + 4, _mm_or_ps(_mm_mul_ps(column.b, step.b), column.tail));
    const __m128 last = _mm_or_ps(step.c, column.u1);
    _mm_storel_pi(reinterpret_cast<__m64*>(at + 8), last);
    _mm_store_ss(at + 10, _mm_movehl_ps(last, last));
}
#endif

} // namespace

HRESULT MakeVertexBuffer(std::uint32_t byteLength, IDirect3DVertexBuffer8*& buffer) {
    if (app.device == nullptr) {
        return E_FAIL;
    }
    return app.device->CreateVertexBuffer(byteLength, 0, 0, D3DPOOL_DEFAULT, &buffer);
}

HRESULT UploadVertices(IDirect3DVertexBuffer8* buffer, const void* source, std::uint32_t byteCount) {
    // A buffer that was never created, or nothing to copy from, is treated as a failed lock.
    if (buffer == nullptr || (source == nullptr && byteCount != 0)) {
        return E_FAIL;
    }
    BYTE* target = nullptr;
    if (FAILED(buffer->Lock(0, 0, &target, 0)) || target == nullptr) {
        return E_FAIL;
    }
    // Whole words first, then the 0 to 3 bytes left over. With nothing to copy the source
    // may be null, which memcpy must not be given even for no bytes.
    const std::uint32_t wordBytes = byteCount & ~3u;
    if (wordBytes != 0) {
        std::memcpy(target, source, wordBytes);
    }
    const auto* tail = static_cast<const BYTE*>(source) + wordBytes;
    for (std::uint32_t i = 0; i < (byteCount & 3u); ++i) {
        target[wordBytes + i] = tail[i];
    }
    return buffer->Unlock();
}

void CreateRingStorage() {
    app.ringVertices = new (std::nothrow) RingVertex[static_cast<std::size_t>(app.ringVertexCount)];
    MakeVertexBuffer(static_cast<std::uint32_t>(app.ringVertexCount) * sizeof(RingVertex),
                     app.ringVertexBuffer);
}

void BuildRingMesh(std::int32_t ring, float angle) {
    const int n = app.ringSegments;
    const int m = app.tubeSegments;
    // Nothing to build into, or a mesh that would not fit the array: leave the buffer as it is.
    if (app.ringVertices == nullptr || ring < 0 || ring > 3 || n <= 0 || m <= 0 ||
        m + 2 > kMaxTubeSteps || n * (m + 2) * 2 > app.ringVertexCount) {
        return;
    }
    const float radius = app.ringRadius[ring];
    const float dA = kFullTurn / static_cast<float>(n);
    const float dB = kFullTurn / static_cast<float>(m);

    // The cross-section is the same for every segment: compute it once per build.
    TubeStep steps[kMaxTubeSteps];
    for (int j = 0; j < m + 2; ++j) {
        const float psi = static_cast<float>(j) * dB;
        const float cosPsi = std::cos(psi);
        steps[j] = {radius + kTubeHalfWidth * cosPsi, cosPsi, kTubeHalfHeight * std::sin(psi),
                    psi * kPerTurn};
    }

#if RING_MESH_LANES
    StepLanes lanes[kMaxTubeSteps];
    for (int j = 0; j < m + 2; ++j) {
        const TubeStep& t = steps[j];
        lanes[j] = {_mm_setr_ps(t.r, t.height, t.r, t.cosPsi),
                    _mm_setr_ps(t.height, t.cosPsi, 0.0f, 0.0f), _mm_setr_ps(t.v, 0.0f, t.v, 0.0f)};
    }
#endif

    RingVertex* out = app.ringVertices;
    for (int k = 0; k < n; ++k) {
        const float phi = static_cast<float>(k) * dA;
        const float phiEnd = phi + dA;
        int sector = static_cast<int>(kSectorFactor * phiEnd);
        sector = sector > 7 ? 7 : sector;
        const D3DCOLOR colour = app.sectorColour[sector];
        const float c0 = std::cos(phi + angle), s0 = std::sin(phi + angle);
        const float c1 = std::cos(phiEnd + angle), s1 = std::sin(phiEnd + angle);
#if RING_MESH_LANES
        const ColumnLanes first = Column(c0, s0, colour, phi);
        const ColumnLanes second = Column(c1, s1, colour, phiEnd);
        for (int j = 0; j < m + 2; ++j) {
            WriteLanes(out[0], first, lanes[j]);
            WriteLanes(out[1], second, lanes[j]);
            out += 2;
        }
#else
        for (int j = 0; j < m + 2; ++j) {
            WriteVertex(out[0], c0, s0, steps[j], colour, phi);
            WriteVertex(out[1], c1, s1, steps[j], colour, phiEnd);
            out += 2;
        }
#endif
        if (k == 0) {
            app.stripVertexCount = static_cast<std::int32_t>(out - app.ringVertices);
        }
    }
    UploadVertices(app.ringVertexBuffer, app.ringVertices,
                   static_cast<std::uint32_t>(app.ringVertexCount) * sizeof(RingVertex));
}
