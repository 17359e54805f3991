// Ring geometry: storage, the mesh of one ring, and the vertex-buffer helpers.
#include <cmath>
#include <cstring>
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
