// Back-buffer access and coverage blending (the font's path into the frame).
#include <algorithm>
#include <random>
#include <vector>

#include "device_fixture.h"
#include "platform/raster.h"

namespace {

using Ext = DeviceTest;

TEST_F(Ext, BackBufferIsTheDeviceSizeAndNullForForeignDevices) {
    EXPECT_EQ(width_, 1024);
    EXPECT_EQ(height_, 768);
    EXPECT_EQ(d3d8ext::BackBuffer(nullptr, nullptr, nullptr), nullptr);
}

TEST_F(Ext, CoverageBlendsAsSourceAlphaOverTheTarget) {
    Fill(0xFF000000u);
    const std::uint8_t mask[2][3] = {{0, 128, 255}, {255, 255, 255}};
    d3d8ext::BlendCoverage(device, 10, 20, 3, 2, &mask[0][0], 3, 0xFFFFFFFFu, nullptr);
    EXPECT_EQ(At(10, 20), 0xFF000000u); // no coverage: untouched
    EXPECT_EQ(At(11, 20), 0xBF808080u); // 128/255 of white; alpha blends like colour
    EXPECT_EQ(At(12, 20), 0xFFFFFFFFu);
    EXPECT_EQ(At(10, 21), 0xFFFFFFFFu);
    EXPECT_EQ(At(13, 20), 0xFF000000u); // right of the mask
    // The colour's own alpha scales the coverage: 255 x 0x80 / 255 over black.
    d3d8ext::BlendCoverage(device, 0, 0, 1, 1, &mask[1][0], 3, 0x80FF0000u, nullptr);
    EXPECT_EQ(At(0, 0), 0xBF800000u);
}

TEST_F(Ext, CoverageStaysInsideClipViewportAndBuffer) {
    Fill(0);
    std::uint8_t mask[16 * 16];
    for (std::uint8_t& m : mask) m = 255;
    RECT clip = {4, 4, 8, 8};
    d3d8ext::BlendCoverage(device, 0, 0, 16, 16, mask, 16, 0xFF00FF00u, &clip);
    int drawn = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) drawn += At(x, y) != 0;
    EXPECT_EQ(drawn, 16);
    EXPECT_EQ(At(4, 4), 0xFF00FF00u);
    EXPECT_EQ(At(8, 8), 0u);

    D3DVIEWPORT8 vp = {100, 100, 10, 10, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    Fill(0);
    d3d8ext::BlendCoverage(device, 95, 95, 16, 16, mask, 16, 0xFF00FF00u, nullptr);
    EXPECT_EQ(At(99, 99), 0u);
    EXPECT_EQ(At(100, 100), 0xFF00FF00u);
    EXPECT_EQ(At(110, 100), 0u);

    // Masks hanging off every edge of the buffer touch only pixels inside it.
    vp = {0, 0, 1024, 768, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    Fill(0);
    d3d8ext::BlendCoverage(device, -8, -8, 16, 16, mask, 16, 0xFF00FF00u, nullptr);
    d3d8ext::BlendCoverage(device, 1020, 764, 16, 16, mask, 16, 0xFF00FF00u, nullptr);
    d3d8ext::BlendCoverage(device, 2000000000, 5, 16, 16, mask, 16, 0xFF00FF00u, nullptr);
    EXPECT_EQ(At(7, 7), 0xFF00FF00u);
    EXPECT_EQ(At(8, 8), 0u);
    EXPECT_EQ(At(1023, 767), 0xFF00FF00u);
    EXPECT_EQ(At(1019, 767), 0u);
}

// Masks of every width up to 40 (so that rows end anywhere in a group of eight), at every
// coverage, over random pixels, in colours whose alpha runs from clear to opaque, some cut
// by a clip rectangle: each pixel as the one-pixel rule gives it, its neighbours untouched;
// through every loop the processor runs.
TEST_F(Ext, CoverageOfEveryWidthAsThePixelRule) {
    MakeDevice(64, 48);
    for (int loop = 0; loop <= 2; ++loop) {
        if (d3d8ext::CoverageLoop(loop) != loop) continue;
        SCOPED_TRACE(loop);
        std::mt19937 rng(21);
        std::vector<std::uint8_t> mask(40 * 12);
        const std::uint32_t alphas[] = {0x00, 0x01, 0x80, 0xFE, 0xFF};
        for (int i = 0; i < 400; ++i) {
            const int width = 1 + i % 40, height = 1 + i % 12;
            for (std::uint8_t& m : mask) {
                const std::uint32_t r = rng();
                m = static_cast<std::uint8_t>(r % 3 == 0 ? 0 : (r % 3 == 1 ? 255 : r >> 8));
            }
            if (i % 9 == 4) std::fill(mask.begin(), mask.end(), 0);
            std::vector<std::uint32_t> before(64 * 48);
            for (std::uint32_t& p : before) p = rng();
            std::copy(before.begin(), before.end(), pixels);
            const std::uint32_t colour = (alphas[i % 5] << 24) | (rng() & 0x00FFFFFFu);
            const int x = static_cast<int>(rng() % 70) - 10, y = static_cast<int>(rng() % 50) - 6;
            const RECT clip = {3, 2, 61, 45};
            const RECT* clipTo = i % 2 ? &clip : nullptr;
            d3d8ext::BlendCoverage(device, x, y, width, height, mask.data(), 40, colour, clipTo);
            for (int py = 0; py < 48; ++py) {
                for (int px = 0; px < 64; ++px) {
                    std::uint32_t want = before[py * 64 + px];
                    const bool inside = px >= x && px < x + width && py >= y && py < y + height &&
                                        (clipTo == nullptr || (px >= clip.left && px < clip.right &&
                                                               py >= clip.top && py < clip.bottom));
                    const std::uint32_t c = inside ? mask[(py - y) * 40 + (px - x)] : 0;
                    if (c != 0) {
                        const std::uint32_t a = raster::Div255(c * (colour >> 24));
                        want = raster::BlendSrcAlpha((colour & 0x00FFFFFFu) | (a << 24), want, a);
                    }
                    ASSERT_EQ(At(px, py), want) << i << " at " << px << ", " << py;
                }
            }
        }
    }
    d3d8ext::CoverageLoop(2);
}

// Many masks in one call, overlapping each other and the edges, land as the same masks one
// call each, in the same order, with and without a clip rectangle.
TEST_F(Ext, CoveragesInOneCallAsOneCallEach) {
    MakeDevice(64, 48);
    std::mt19937 rng(5);
    std::vector<std::uint8_t> storage(70 * 13 * 11);
    for (std::uint8_t& m : storage) m = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
    std::vector<d3d8ext::CoverageMask> masks;
    for (int i = 0; i < 70; ++i) {
        const int w = 1 + static_cast<int>(rng() % 13), h = 1 + static_cast<int>(rng() % 11);
        masks.push_back({static_cast<int>(rng() % 76) - 8, static_cast<int>(rng() % 58) - 6, w,
                         i == 9 ? 0 : h, storage.data() + i * 13 * 11, w});
    }
    const RECT clip = {5, 4, 50, 40};
    for (const RECT* clipTo : {static_cast<const RECT*>(nullptr), &clip}) {
        std::vector<std::uint32_t> before(64 * 48);
        for (std::uint32_t& p : before) p = rng();
        std::copy(before.begin(), before.end(), pixels);
        for (const auto& m : masks) {
            d3d8ext::BlendCoverage(device, m.x, m.y, m.width, m.height, m.mask, m.maskPitch,
                                   0xC0336699u, clipTo);
        }
        const std::vector<std::uint32_t> want(pixels, pixels + 64 * 48);
        std::copy(before.begin(), before.end(), pixels);
        d3d8ext::BlendCoverages(device, masks.data(), static_cast<int>(masks.size()), 0xC0336699u, clipTo);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), pixels)) << (clipTo != nullptr);
        EXPECT_NE(want, before);
    }
}

} // namespace
