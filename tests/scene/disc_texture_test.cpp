// Disc texture: the painted tile as it lands in the texture, turned and alpha-masked.
#include <algorithm>
#include <cstdint>

#include "platform/gdi.h"
#include "scene_fixture.h"

namespace {

constexpr std::uint32_t kGround = 0xFF0000FF;
constexpr std::uint32_t kStripe = 0x0000FF00;
constexpr std::uint32_t kFlank = 0x880FF008;
constexpr std::uint32_t kYellow = 0x00FFFF00;
constexpr std::uint32_t kBand = 0x11AAAAA1;

std::uint32_t Grey(std::uint32_t level) { return level * 0x010101u; }

// The texel expected above the band at texture column c (bitmap column 255 - c).
std::uint32_t GroundTexel(int c) {
    const int x = 255 - c;
    if (x == 0) return kYellow;
    if (x <= 15) return (0x11u * x) << 24 | std::uint32_t(x);
    if (x >= 241) return (0x11u * (256 - x)) << 24 | std::uint32_t(256 - x);
    if (x % 32 == 0) return kStripe;
    if (x % 32 == 1 || x % 32 == 31) return kFlank;
    return kGround;
}

class DiscTextureTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        HDC probe = CreateCompatibleDC(nullptr);
        if (probe == nullptr) GTEST_SKIP() << "no GDI painting in this build";
        DeleteDC(probe);
        BuildDiscTexture();
        ASSERT_EQ(device.createdTextures.size(), 1u);
        tex = device.createdTextures[0].get();
    }
    // Texel at texture row r, column c.
    std::uint32_t At(int r, int c) const { return tex->Texel(UINT(c), UINT(r)); }
    fake::Texture* tex = nullptr;
};

TEST_F(DiscTextureTest, StripedGroundBelowTheBand) {
    EXPECT_EQ(At(255, 255), kYellow);  // bitmap (0, 0): the edge rule
    for (int r = 46; r < 256; ++r) {
        for (int c = 0; c < 256; ++c) {
            ASSERT_EQ(At(r, c), GroundTexel(c)) << "row " << r << " column " << c;
        }
    }
}

TEST_F(DiscTextureTest, BandRowsAcrossTheFullWidth) {
    // Texture row -> texel, for the band's rows the label does not reach.
    const struct {
        int row;
        std::uint32_t texel;
    } rows[] = {
        {0, kGround},       {1, kBand},         {2, kFlank},        {3, kFlank},
        {4, kStripe},       {10, Grey(0xA0)},   {11, Grey(0x90)},   {12, Grey(0x80)},
        {13, Grey(0x70)},   {14, Grey(0x60)},   {15, Grey(0x70)},   {16, Grey(0x80)},
        {17, Grey(0x90)},   {18, Grey(0xA0)},   {19, kBand},        {43, kFlank},
        {44, kStripe},      {45, kFlank},
    };
    for (const auto& row : rows) {
        for (int c = 0; c < 256; ++c) {
            ASSERT_EQ(At(row.row, c), row.texel) << "row " << row.row << " column " << c;
        }
    }
}

// Beside the label the grooves run on; over the middle the yellow label is centred.
TEST_F(DiscTextureTest, GroovesBesideACentredLabel) {
    const struct {
        int row;
        std::uint32_t texel;
    } rows[] = {{22, Grey(0xA0)}, {23, Grey(0x80)}, {24, Grey(0x70)}, {25, Grey(0x80)},
                {26, Grey(0xA0)}, {30, Grey(0xA0)}, {34, Grey(0x60)}, {38, Grey(0xA0)}};
    for (const auto& row : rows) {
        for (int c : {0, 20, 40, 215, 235, 255}) {
            EXPECT_EQ(At(row.row, c), row.texel) << "row " << row.row << " column " << c;
        }
    }
    long yellow = 0, columnSum = 0;
    for (int r = 5; r < 43; ++r) {
        for (int c = 0; c < 256; ++c) {
            if (At(r, c) == kYellow) {
                ++yellow;
                columnSum += c;
            }
        }
    }
    ASSERT_GT(yellow, 100);
    // Bitmap column 128 lands on texture column 127.
    EXPECT_NEAR(double(columnSum) / double(yellow), 127.0, 4.0);
}

TEST_F(SceneTest, TextureIsCreatedOnceAndAFailedLockLeavesItAlone) {
    device.failTextureLocks = true;
    BuildDiscTexture();
    const fake::Call* create = device.CallsNamed("CreateTexture").at(0);
    const std::vector<double> args = {256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED};
    EXPECT_EQ(create->args, args);
    ASSERT_NE(app.discTexture, nullptr);
    const auto& bits = device.createdTextures[0]->bits;
    EXPECT_EQ(std::count(bits.begin(), bits.end(), 0), long(bits.size()));
    EXPECT_EQ(device.Count("Texture::UnlockRect"), 0u);

    device.failCreateTexture = true;
    app.discTexture = nullptr;
    BuildDiscTexture();
    EXPECT_EQ(app.discTexture, nullptr);
}

TEST_F(SceneTest, ReleaseGivesBackEverythingTheSceneMade) {
    CreateSceneResources();
    ReleaseSceneResources();
    EXPECT_EQ(device.buffers.at(0)->refs, 0u);
    EXPECT_EQ(device.createdTextures.at(0)->refs, 0u);
    EXPECT_EQ(app.ringVertices, nullptr);
    EXPECT_EQ(app.ringVertexBuffer, nullptr);
    EXPECT_EQ(app.discTexture, nullptr);
    ReleaseSceneResources();  // a second time finds nothing to give back
}

} // namespace
