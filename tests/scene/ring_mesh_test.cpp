// Ring geometry: storage, the mesh of one ring, and the vertex-buffer helpers.
#include <cmath>
#include <cstring>
#include <limits>
#include <algorithm>
#include <vector>

#include "scene_fixture.h"

namespace {

class RingMeshTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        CreateRingStorage();
        ASSERT_EQ(device.buffers.size(), 1u);
        buffer = device.buffers[0].get();
    }
    // What the device holds, read back as vertices.
    RingVertex Uploaded(std::size_t i) const {
        RingVertex v;
        std::memcpy(&v, buffer->data.data() + i * sizeof v, sizeof v);
        return v;
    }
    fake::VertexBuffer* buffer = nullptr;
};

TEST_F(RingMeshTest, StorageIsOneDefaultPoolBufferOfTheWholeMesh) {
    const std::vector<double> args = {2816 * 44, 0, 0, D3DPOOL_DEFAULT};
    EXPECT_EQ(device.CallsNamed("CreateVertexBuffer").at(0)->args, args);
    EXPECT_EQ(app.ringVertexBuffer, buffer);
    EXPECT_EQ(app.stripVertexCount, 0);
}

TEST_F(RingMeshTest, FirstVerticesOfInnerRingAtRest) {
    BuildRingMesh(0, 0.0f);
    const RingVertex v0 = Uploaded(0);
    EXPECT_FLOAT_EQ(v0.x, 0.285f);
    EXPECT_EQ(std::vector<float>({v0.y, v0.z, v0.nx, v0.ny, v0.nz}),
              (std::vector<float>{0, 0, 1, 0, 0}));
    EXPECT_EQ(v0.diffuse, 0xFF880000u);
    EXPECT_EQ(std::vector<float>({v0.u0, v0.v0, v0.u1, v0.v1}), std::vector<float>(4, 0.0f));

    const RingVertex v1 = Uploaded(1);
    EXPECT_NEAR(v1.x, 0.285 * std::cos(0.0981719), 1e-6);
    EXPECT_NEAR(v1.z, -0.285 * std::sin(0.0981719), 1e-6);
    EXPECT_NEAR(v1.u0, 0.125, 1e-6);
}

TEST_F(RingMeshTest, StepFiveIsTheTopOfTheTube) {
    BuildRingMesh(2, 0.0f);
    const RingVertex top = Uploaded(2 * 5);
    EXPECT_NEAR(std::hypot(top.x, top.z), 0.65, 1e-4);
    EXPECT_NEAR(top.y, 0.04, 1e-6);
    EXPECT_NEAR(top.nx, 0.0, 1e-4);
    EXPECT_NEAR(top.ny, 0.04, 1e-6);  // the height, not a unit normal
    EXPECT_NEAR(top.nz, 0.0, 1e-4);
    EXPECT_NEAR(top.v0, 0.25, 1e-4);
}

TEST_F(RingMeshTest, EverySegmentIsOneStripOfItsSectorColour) {
    BuildRingMesh(3, 1.0f);
    EXPECT_EQ(app.stripVertexCount, 44);
    EXPECT_EQ(std::memcmp(buffer->data.data(), app.ringVertices, 2816 * 44), 0);
    for (std::size_t k = 0; k < 64; ++k) {
        for (std::size_t j = 0; j < 44; ++j) {
            ASSERT_EQ(Uploaded(k * 44 + j).diffuse, app.sectorColour[k / 8]) << k << "," << j;
        }
    }
    // The last segment ends where the texture has repeated eight times and the ring closes;
    // its strip runs one step past the full cross-section.
    const RingVertex end = Uploaded(63 * 44 + 1);
    EXPECT_NEAR(end.u0, 8.0, 1e-4);
    EXPECT_NEAR(end.u1, 1.0, 1e-5);
    EXPECT_NEAR(Uploaded(63 * 44 + 43).v0, 1.05, 1e-4);
}

// The angle turns positions only (from +x towards -z), so a ring turned by p positions
// carries its colours with it: where sector s lay at rest, sector s - p now shows.
TEST_F(RingMeshTest, TurningByWholePositionsTurnsTheColours) {
    BuildRingMesh(3, 0.0f);
    const std::vector<RingVertex> rest(app.ringVertices, app.ringVertices + 2816);
    for (std::uint32_t p = 0; p < 8; ++p) {
        BuildRingMesh(3, 0.785f * static_cast<float>(p));
        for (std::size_t s = 0; s < 8; ++s) {
            const RingVertex& place = rest[(s * 8 + 4) * 44];
            std::size_t nearest = 0;
            float best = 1e9f;
            for (std::size_t k = 0; k < 64; ++k) {
                const RingVertex& v = app.ringVertices[k * 44];
                const float d = std::hypot(v.x - place.x, v.z - place.z);
                if (d < best) {
                    best = d;
                    nearest = k;
                }
            }
            EXPECT_LT(best, 0.01f);
            EXPECT_EQ(app.ringVertices[nearest * 44].diffuse, app.sectorColour[(s + 8 - p) % 8])
                << "p " << p << " sector " << s;
        }
    }
}

// Every vertex, bit for bit, as the mesh's formula gives it one float at a time, over mesh
// shapes from one segment to the largest cross-section, turns far beyond a circle, and
// radii and turns that are not numbers (where two NaNs meet, which one a product keeps is
// the compiler's choice, so any NaN will do there); vertices past the mesh stay as they were.
TEST_F(RingMeshTest, EveryVertexIsTheFormulaBitForBit) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const int shapes[][2] = {{64, 20}, {3, 1}, {7, 62}, {1, 5}, {17, 3}};
    const float angles[] = {0.0f, 0.785f, -2.355f, 5.495f, 1.0e6f, -0.0f, nan, inf};
    const float radii[] = {0.15f, 0.65f, -1.0f, 1.0e30f, nan};
    constexpr int kCount = 2816;
    for (const auto& shape : shapes) {
        app.ringSegments = shape[0];
        app.tubeSegments = shape[1];
        for (float radius : radii) {
            for (float angle : angles) {
                const int ring = static_cast<int>(std::fabs(angle)) % 4;
                app.ringRadius[ring] = radius;
                std::memset(app.ringVertices, 0x5A, kCount * sizeof(RingVertex));
                BuildRingMesh(ring, angle);

                std::vector<RingVertex> want(kCount);
                std::memset(want.data(), 0x5A, kCount * sizeof(RingVertex));
                const int n = shape[0], m = shape[1];
                const float dA = 6.283f / static_cast<float>(n), dB = 6.283f / static_cast<float>(m);
                RingVertex* out = want.data();
                for (int k = 0; k < n; ++k) {
                    for (int side = 0; side < 2; ++side) {
                        const float phi = static_cast<float>(k) * dA;
                        const float at = side == 0 ? phi : phi + dA;
                        const int sector = std::min(static_cast<int>(1.2732f * (phi + dA)), 7);
                        const float cs = std::cos(at + angle), sn = std::sin(at + angle);
                        for (int j = 0; j < m + 2; ++j) {
                            const float psi = static_cast<float>(j) * dB;
                            const float cosPsi = std::cos(psi);
                            const float r = radius + 0.135f * cosPsi;
                            const float height = 0.04f * std::sin(psi);
                            RingVertex& v = out[2 * j + side];
                            v = {cs * r, height, -sn * r, cs * cosPsi, height, -sn * cosPsi,
                                 app.sectorColour[sector], at * 1.2732770f, psi * 0.15915963f,
                                 at * 0.15915963f, psi * 0.15915963f};
                        }
                    }
                    out += 2 * (m + 2);
                }
                const auto* wantWords = reinterpret_cast<const float*>(want.data());
                const auto* gotWords = reinterpret_cast<const float*>(app.ringVertices);
                for (int i = 0; i < kCount * 11; ++i) {
                    const bool bothNaN = std::isnan(wantWords[i]) && std::isnan(gotWords[i]);
                    ASSERT_TRUE(bothNaN || std::memcmp(&wantWords[i], &gotWords[i], 4) == 0)
                        << n << "x" << m << " radius " << radius << " angle " << angle
                        << " vertex " << i / 11 << " float " << i % 11;
                }
                ASSERT_EQ(app.stripVertexCount, 2 * (m + 2));
            }
        }
    }
}

// A failed lock keeps the previous contents, and a bad ring index or missing array builds
// nothing; the ring is then drawn from what the buffer holds.
TEST_F(RingMeshTest, BufferKeepsItsMeshWhenABuildCannotLand) {
    BuildRingMesh(0, 0.0f);
    const std::vector<BYTE> before = buffer->data;
    buffer->failLock = true;
    BuildRingMesh(0, 2.0f);
    buffer->failLock = false;
    BuildRingMesh(4, 0.0f);
    BuildRingMesh(-1, 0.0f);
    delete[] app.ringVertices;
    app.ringVertices = nullptr;
    BuildRingMesh(0, 1.0f);
    EXPECT_EQ(buffer->data, before);
    EXPECT_EQ(device.Count("VertexBuffer::Lock"), 2u);
}

TEST_F(SceneTest, UploadCopiesExactlyTheBytesAskedFor) {
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(MakeVertexBuffer(16, vb), D3D_OK);
    auto* fakeVb = static_cast<fake::VertexBuffer*>(vb);
    const BYTE source[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (std::uint32_t count = 0; count <= 9; ++count) {
        std::fill(fakeVb->data.begin(), fakeVb->data.end(), BYTE{0xEE});
        EXPECT_EQ(UploadVertices(vb, source, count), D3D_OK);
        for (std::uint32_t i = 0; i < 16; ++i) {
            ASSERT_EQ(fakeVb->data[i], i < count ? source[i] : 0xEE) << count << " bytes, byte " << i;
        }
    }
    EXPECT_EQ(device.CallsNamed("VertexBuffer::Lock").at(0)->args, std::vector<double>(3, 0.0));
}

TEST_F(SceneTest, UploadFailsWithoutCopyingWhenThereIsNoLockOrNoBuffer) {
    IDirect3DVertexBuffer8* vb = nullptr;
    MakeVertexBuffer(8, vb);
    auto* fakeVb = static_cast<fake::VertexBuffer*>(vb);
    const BYTE source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    fakeVb->failLock = true;
    EXPECT_EQ(UploadVertices(vb, source, 8), E_FAIL);
    EXPECT_EQ(fakeVb->data, std::vector<BYTE>(8, 0));
    EXPECT_EQ(device.Count("VertexBuffer::Unlock"), 0u);
    EXPECT_EQ(UploadVertices(nullptr, source, 8), E_FAIL);

    app.device = nullptr;
    vb = nullptr;
    EXPECT_EQ(MakeVertexBuffer(8, vb), E_FAIL);
    EXPECT_EQ(vb, nullptr);
}

} // namespace
