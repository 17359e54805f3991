// The whole-buffer work of a frame against the plain loops it stands for: clearing a
// rectangle of the colour and depth buffers, and the headless host keeping the presented
// picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/host/headless.h"
#include "platform/host/host.h"
#include "platform/raster.h"

namespace {

// A clear touches exactly the rectangle cut to the target, whatever the value's bytes, for
// rectangles that reach past every edge, span whole rows, or hold nothing.
TEST(ClearCopy, ClearsFillExactlyTheRectangleCutToTheTarget) {
    std::mt19937 random(7);
    const std::uint32_t colours[] = {0x00000000u, 0xFFFFFFFFu, 0x7F7F7F7Fu, 0xFF123456u, 0x00FF00FFu};
    const float depths[] = {0.0f, 1.0f, 0.5f, 0.25f, 1.0f / 255.0f};
    const int sizes[][2] = {{13, 7}, {1, 1}, {64, 3}, {33, 17}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        std::vector<raster::Rect> rects = {
            {0, 0, w, h}, {-5, -5, w + 5, h + 5}, {0, 1, w, h - 1}, {-3, 2, w + 9, 3},
            {w - 1, h - 1, w + 4, h + 4}, {1, 0, w - 1, h}, {2, 2, 2, 5}, {3, 3, 1, 1},
            {0, 0, w, 0}, {w, 0, w + 3, h}};
        for (int i = 0; i < 40; ++i) {
            const int l = static_cast<int>(random() % (w + 6)) - 3;
            const int t = static_cast<int>(random() % (h + 6)) - 3;
            rects.push_back({l, t, l + static_cast<int>(random() % (w + 3)),
                             t + static_cast<int>(random() % (h + 3))});
        }
        for (const raster::Rect& r : rects) {
            for (int v = 0; v < 5; ++v) {
                std::vector<std::uint32_t> colour(static_cast<std::size_t>(w) * h);
                std::vector<std::uint16_t> depth(colour.size());
                for (auto& c : colour) c = random();
                for (auto& d : depth) d = static_cast<std::uint16_t>(random());
                std::vector<std::uint32_t> wantColour = colour;
                std::vector<std::uint16_t> wantDepth = depth;
                const auto z = static_cast<std::uint16_t>(depths[v] * 65535.0f + 0.5f);
                for (int y = std::max(r.top, 0); y < std::min(r.bottom, h); ++y) {
                    for (int x = std::max(r.left, 0); x < std::min(r.right, w); ++x) {
                        wantColour[static_cast<std::size_t>(y) * w + x] = colours[v];
                        wantDepth[static_cast<std::size_t>(y) * w + x] = z;
                    }
                }
                const raster::Target target{colour.data(), depth.data(), w, h};
                raster::ClearColour(target, r, colours[v]);
                raster::ClearDepth(target, r, depths[v]);
                ASSERT_EQ(colour, wantColour) << w << "x" << h << " rect " << r.left << "," << r.top
                                              << "," << r.right << "," << r.bottom << " value " << v;
                ASSERT_EQ(depth, wantDepth) << w << "x" << h << " rect " << r.left << "," << r.top
                                            << "," << r.right << "," << r.bottom << " value " << v;
            }
        }
    }
}

// The host keeps the top-left kWidth x kHeight of any picture, rows of the picture's own
// width, and what a smaller picture leaves uncovered stays as the last one had it.
TEST(ClearCopy, HeadlessHostKeepsThePresentedPicture) {
    constexpr int kW = host::HeadlessHost::kWidth, kH = host::HeadlessHost::kHeight;
    host::HeadlessHost headless;
    std::vector<std::uint32_t> kept(static_cast<std::size_t>(kW) * kH, 0xFF000000u);
    std::mt19937 random(11);
    const int sizes[][2] = {{kW, kH}, {kW, kH - 5}, {kW - 3, kH}, {kW + 7, kH + 2},
                            {1, 1},   {5, 3},       {kW, 1},      {kW + 1, 9}, {kW, kH}};
    int shift = 0;
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        // One word more than the picture, every other one started a word in, so the rows do
        // not begin on any particular boundary.
        std::vector<std::uint32_t> storage(static_cast<std::size_t>(w) * h + 1);
        for (auto& p : storage) p = random();
        const std::uint32_t* pixels = storage.data() + shift;
        shift ^= 1;
        headless.Present(pixels, w, h);
        for (int y = 0; y < std::min(h, kH); ++y) {
            for (int x = 0; x < std::min(w, kW); ++x) {
                kept[static_cast<std::size_t>(y) * kW + x] = pixels[static_cast<std::size_t>(y) * w + x];
            }
        }
        ASSERT_TRUE(std::equal(kept.begin(), kept.end(), headless.LastFrame())) << w << "x" << h;
    }
}

// The buffers for pixels come zeroed, whole, and on a large page's boundary, so that all of
// each may be backed by large pages; sizes that cannot be had give null, not a short buffer.
TEST(ClearCopy, PixelBuffersComeZeroedAndAligned) {
    for (std::size_t bytes : {std::size_t{1}, std::size_t{4096}, std::size_t{1024 * 768 * 4}, std::size_t{(1u << 21) + 1}}) {
        auto* buffer = static_cast<unsigned char*>(host::AllocateBuffer(bytes));
        ASSERT_NE(buffer, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % (std::uintptr_t{1} << 21), 0u);
        EXPECT_TRUE(std::all_of(buffer, buffer + bytes, [](unsigned char b) { return b == 0; })) << bytes;
        buffer[0] = 1;
        buffer[bytes - 1] = 2; // the last byte asked for is there to write
        host::FreeBuffer(buffer);
    }
    EXPECT_EQ(host::AllocateBuffer(0), nullptr);
    EXPECT_EQ(host::AllocateBuffer(SIZE_MAX), nullptr);
    EXPECT_EQ(host::AllocateBuffer(SIZE_MAX - 4096), nullptr);
    host::FreeBuffer(nullptr);
}

} // namespace
