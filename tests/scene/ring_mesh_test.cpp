// Ring geometry: storage, the mesh of one ring, and the vertex-buffer helpers.
#include <cmath>
#include <cstring>
#include <vector>

#include "scene_fixture.h"

namespace {

constexpr std::uint32_t kRingBytes = 2816 * 44;

class RingMeshTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        CreateRingStorage();
        ASSERT_NE(app.ringVertices, nullptr);
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

TEST_F(RingMeshTest, StorageIsOneBufferOfTheWholeMesh) {
    const fake::Call* create = device.CallsNamed("CreateVertexBuffer").at(0);
    EXPECT_EQ(create->ArgU(0), kRingBytes);
    EXPECT_EQ(create->ArgU(1), 0u);  // usage
    EXPECT_EQ(create->ArgU(2), 0u);  // no FVF
    EXPECT_EQ(create->ArgU(3), static_cast<DWORD>(D3DPOOL_DEFAULT));
    EXPECT_EQ(app.ringVertexBuffer, buffer);
    EXPECT_EQ(app.stripVertexCount, 0);
}

TEST_F(RingMeshTest, FirstVerticesOfInnerRingAtRest) {
    BuildRingMesh(0, 0.0f);
    const RingVertex v0 = Uploaded(0);
    EXPECT_FLOAT_EQ(v0.x, 0.285f);
    EXPECT_FLOAT_EQ(v0.y, 0.0f);
    EXPECT_FLOAT_EQ(v0.z, 0.0f);
    EXPECT_FLOAT_EQ(v0.nx, 1.0f);
    EXPECT_FLOAT_EQ(v0.ny, 0.0f);
    EXPECT_FLOAT_EQ(v0.nz, 0.0f);
    EXPECT_EQ(v0.diffuse, 0xFF880000u);
    EXPECT_EQ(v0.u0, 0.0f);
    EXPECT_EQ(v0.v0, 0.0f);
    EXPECT_EQ(v0.u1, 0.0f);
    EXPECT_EQ(v0.v1, 0.0f);

    const RingVertex v1 = Uploaded(1);
    EXPECT_NEAR(v1.x, 0.285 * std::cos(0.0981719), 1e-6);
    EXPECT_NEAR(v1.z, -0.285 * std::sin(0.0981719), 1e-6);
    EXPECT_NEAR(v1.u0, 0.125, 1e-6);
    EXPECT_EQ(v1.diffuse, 0xFF880000u);
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

TEST_F(RingMeshTest, LastSegmentClosesTheRing) {
    BuildRingMesh(1, 0.0f);
    const std::size_t last = 63 * 44;
    for (std::size_t j = 0; j < 44; ++j) {
        EXPECT_EQ(Uploaded(last + j).diffuse, 0xFF884400u);
    }
    const RingVertex end = Uploaded(last + 1);
    EXPECT_NEAR(end.u0, 8.0, 1e-4);
    EXPECT_NEAR(end.u1, 1.0, 1e-5);
    // The strip runs one step past the full cross-section.
    EXPECT_NEAR(Uploaded(last + 43).v0, 1.05, 1e-4);
}

TEST_F(RingMeshTest, EverySegmentIsOneStripOfItsSectorColour) {
    BuildRingMesh(3, 1.0f);
    EXPECT_EQ(app.stripVertexCount, 44);
    EXPECT_EQ(std::memcmp(buffer->data.data(), app.ringVertices, kRingBytes), 0);
    for (std::size_t k = 0; k < 64; ++k) {
        for (std::size_t j = 0; j < 44; ++j) {
            ASSERT_EQ(Uploaded(k * 44 + j).diffuse, app.sectorColour[k / 8]) << k << "," << j;
        }
    }
}

// The angle turns positions only, so a ring turned by p positions carries its colours with it:
// the place where sector s lay at rest now shows sector s - p.
TEST_F(RingMeshTest, TurningByWholePositionsTurnsTheColours) {
    BuildRingMesh(3, 0.0f);
    std::vector<RingVertex> rest(app.ringVertices, app.ringVertices + 2816);
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

TEST_F(RingMeshTest, PositiveAngleCarriesPointsTowardsMinusZ) {
    BuildRingMesh(0, 0.5f);
    EXPECT_LT(Uploaded(0).z, 0.0f);
    EXPECT_GT(Uploaded(0).x, 0.0f);
}

TEST_F(RingMeshTest, BuildsNothingWithoutStorageOrForAnUnknownRing) {
    std::vector<BYTE> before = buffer->data;
    BuildRingMesh(4, 0.0f);
    BuildRingMesh(-1, 0.0f);
    EXPECT_EQ(app.stripVertexCount, 0);
    delete[] app.ringVertices;
    app.ringVertices = nullptr;
    BuildRingMesh(0, 0.0f);
    EXPECT_EQ(app.stripVertexCount, 0);
    EXPECT_EQ(buffer->data, before);
    EXPECT_EQ(device.Count("VertexBuffer::Lock"), 0u);
}

// A failed lock keeps the previous contents; the ring is then drawn from them.
TEST_F(RingMeshTest, FailedLockKeepsThePreviousMesh) {
    BuildRingMesh(0, 0.0f);
    std::vector<BYTE> before = buffer->data;
    buffer->failLock = true;
    BuildRingMesh(0, 2.0f);
    EXPECT_EQ(buffer->data, before);
    EXPECT_EQ(device.Count("VertexBuffer::Unlock"), 1u);
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
    const fake::Call* lock = device.CallsNamed("VertexBuffer::Lock").at(0);
    EXPECT_EQ(lock->ArgU(0), 0u);
    EXPECT_EQ(lock->ArgU(1), 0u);
    EXPECT_EQ(lock->ArgU(2), 0u);
}

TEST_F(SceneTest, UploadFailsWithoutCopyingWhenThereIsNoLock) {
    IDirect3DVertexBuffer8* vb = nullptr;
    MakeVertexBuffer(8, vb);
    auto* fakeVb = static_cast<fake::VertexBuffer*>(vb);
    const BYTE source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    fakeVb->failLock = true;
    EXPECT_EQ(UploadVertices(vb, source, 8), E_FAIL);
    EXPECT_EQ(fakeVb->data, std::vector<BYTE>(8, 0));
    EXPECT_EQ(device.Count("VertexBuffer::Unlock"), 0u);
    EXPECT_EQ(UploadVertices(nullptr, source, 8), E_FAIL);
}

TEST_F(SceneTest, NoDeviceMeansNoBuffer) {
    app.device = nullptr;
    IDirect3DVertexBuffer8* vb = nullptr;
    EXPECT_EQ(MakeVertexBuffer(8, vb), E_FAIL);
    EXPECT_EQ(vb, nullptr);
    CreateRingStorage();
    EXPECT_EQ(app.ringVertexBuffer, nullptr);
    BuildRingMesh(0, 0.0f);  // builds into the array, uploads nowhere
    EXPECT_EQ(app.stripVertexCount, 44);
}

} // namespace
