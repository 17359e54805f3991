// How the SDL2 host puts the picture on the screen: a window of the picture's size takes a
// straight copy; a larger or smaller screen gets the picture scaled by nearest pixel, keeping
// its shape, with black bars. The scaling is checked in memory, then on a private X server
// through the host itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "desktop.h"
#include "platform/host/sdl2.h"
#include "support/scoped_env.h"
#include "platform/host/sdl2_scale.h"

namespace e2e {
namespace {

using host::Placement;
using host::ScaleMaps;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

std::vector<std::uint32_t> Codes(int width, int height) {
    std::vector<std::uint32_t> codes(static_cast<std::size_t>(width) * height);
    host::FillPlaceCodes(codes.data(), width, height);
    return codes;
}

// A target of width x height with `pad` spare words at the end of each row, set to a marker.
struct Target {
    Target(int w, int h, int pad = 0) : stride(w + pad), words(static_cast<std::size_t>(stride) * h, kMarker) {
        view = host::PixelView{words.data(), w, h, stride};
    }
    static constexpr std::uint32_t kMarker = 0xDEADBEEF;
    int stride;
    std::vector<std::uint32_t> words;
    host::PixelView view;
};

// The place codes shown on a 1280x1024 screen, and the maps read back from what was shown.
struct CodedScreen {
    static constexpr int w = 1280;
    static constexpr int h = 1024;
    CodedScreen() {
        host::PictureScaler().Show(frame, shown.view, kWidth, kHeight);
        read = host::ReadPlaceCodes(shown.words.data(), w, h, w, kWidth, kHeight, maps);
    }
    std::vector<std::uint32_t> codes = Codes(kWidth, kHeight);
    host::FrameView frame{codes.data(), kWidth, kHeight, kWidth};
    Target shown{w, h};
    ScaleMaps maps;
    bool read = false;
};

TEST(PictureScaling, PlacesThePictureLargestAndCentredWithBars) {
    EXPECT_EQ(host::PlacePicture(kWidth, kHeight, 1280, 1024), (Placement{0, 32, 1280, 960}));
    EXPECT_EQ(host::PlacePicture(kWidth, kHeight, 1920, 1080), (Placement{240, 0, 1440, 1080}));
    EXPECT_EQ(host::PlacePicture(kWidth, kHeight, 2048, 1536), (Placement{0, 0, 2048, 1536}));
    EXPECT_EQ(host::PlacePicture(kWidth, kHeight, 800, 600), (Placement{0, 0, 800, 600}));
    EXPECT_EQ(host::PlacePicture(kWidth, kHeight, 1366, 768), (Placement{171, 0, 1024, 768}));
}

TEST(PictureScaling, EveryScreenPixelTakesThePicturePixelUnderItsCentre) {
    const std::vector<std::uint32_t> codes = Codes(kWidth, kHeight);
    const host::FrameView frame{codes.data(), kWidth, kHeight, kWidth};
    struct Size {
        int w, h;
    };
    // Up, down, both ways at once, and screens of one pixel.
    for (const Size s : {Size{1280, 1024}, Size{1920, 1080}, Size{800, 600}, Size{700, 900},
                         Size{3000, 500}, Size{1, 1}, Size{1, 768}}) {
        SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
        Target target(s.w, s.h, 3);
        host::PictureScaler scaler;
        scaler.Show(frame, target.view, kWidth, kHeight);
        const Placement p = host::PlacePicture(kWidth, kHeight, s.w, s.h);
        ScaleMaps maps;
        ASSERT_TRUE(host::ReadPlaceCodes(target.words.data(), s.w, s.h, target.stride, kWidth, kHeight, maps));
        EXPECT_EQ(maps.place, p);
        for (int x = 0; x < p.width; ++x) {
            ASSERT_EQ(maps.columns[x], static_cast<int>((2 * x + 1) * std::int64_t{kWidth} / (2 * p.width))) << x;
        }
        for (int y = 0; y < p.height; ++y) {
            ASSERT_EQ(maps.rows[y], static_cast<int>((2 * y + 1) * std::int64_t{kHeight} / (2 * p.height))) << y;
        }
        for (int y = 0; y < s.h; ++y) {
            for (int pad = s.w; pad < target.stride; ++pad) {
                ASSERT_EQ(target.words[static_cast<std::size_t>(y) * target.stride + pad], Target::kMarker);
            }
        }
    }
}

TEST(PictureScaling, OneToOneCopiesAndWhatTheFrameLacksIsBlack) {
    const std::vector<std::uint32_t> codes = Codes(kWidth, kHeight);
    Target same(kWidth, kHeight, 5);
    host::PictureScaler scaler;
    scaler.Show(host::FrameView{codes.data(), kWidth, kHeight, kWidth}, same.view, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth + 5; ++x) {
            const std::uint32_t want = x < kWidth ? codes[static_cast<std::size_t>(y) * kWidth + x] : Target::kMarker;
            ASSERT_EQ(same.words[static_cast<std::size_t>(y) * same.stride + x], want) << x << "," << y;
        }
    }
    // A frame narrower and shorter than the picture, one to one and scaled by 1.25.
    for (const int w : {kWidth, 1280}) {
        SCOPED_TRACE(w);
        const int h = w * 3 / 4;
        Target target(w, h);
        scaler.Show(host::FrameView{codes.data(), 100, 50, kWidth}, target.view, kWidth, kHeight);
        const auto at = [&](int x, int y) { return target.words[static_cast<std::size_t>(y) * w + x]; };
        const int edgeX = 100 * w / kWidth;
        const int edgeY = 50 * w / kWidth;
        EXPECT_EQ(at(0, 0), codes[0]);
        EXPECT_EQ(at(edgeX - 1, edgeY - 1), codes[49 * kWidth + 99]);
        EXPECT_EQ(at(edgeX, edgeY - 1), 0u);
        EXPECT_EQ(at(edgeX - 1, edgeY), 0u);
        EXPECT_EQ(at(w - 1, h - 1), 0u);
    }
    // No frame at all shows black; no target is left alone.
    Target black(kWidth, kHeight);
    scaler.Show(host::FrameView{}, black.view, kWidth, kHeight);
    EXPECT_EQ(black.words[12345], 0u);
    scaler.Show(host::FrameView{codes.data(), kWidth, kHeight, kWidth}, host::PixelView{}, kWidth, kHeight);
}

TEST(PictureScaling, ReadingCodesRefusesAnythingButAClean2DScaling) {
    CodedScreen screen;
    ASSERT_TRUE(screen.read);
    constexpr int w = CodedScreen::w;
    constexpr int h = CodedScreen::h;
    const Target& clean = screen.shown;
    ScaleMaps& maps = screen.maps;

    const auto refused = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint32_t> spoilt = clean.words;
        spoilt[at] = value;
        ScaleMaps out;
        return !host::ReadPlaceCodes(spoilt.data(), w, h, w, kWidth, kHeight, out);
    };
    EXPECT_TRUE(refused(5, 0x000001));                            // a lit bar
    EXPECT_TRUE(refused(static_cast<std::size_t>(500) * w + 600, 0)); // a hole inside
    // A pixel from a neighbouring place: filtering rather than nearest.
    const std::size_t inside = static_cast<std::size_t>(500) * w + 600;
    EXPECT_TRUE(refused(inside, clean.words[inside + 2]));
    // Bar rows ignore alpha and only alpha: the top byte is not looked at.
    EXPECT_FALSE(refused(5, 0xFF000000));

    // All black, a picture shown mirrored, and sizes that cannot be coded.
    std::vector<std::uint32_t> black(static_cast<std::size_t>(w) * h, 0);
    EXPECT_FALSE(host::ReadPlaceCodes(black.data(), w, h, w, kWidth, kHeight, maps));
    std::vector<std::uint32_t> mirrored = clean.words;
    for (int y = 0; y < h; ++y) {
        std::reverse(mirrored.begin() + static_cast<std::ptrdiff_t>(y) * w, mirrored.begin() + static_cast<std::ptrdiff_t>(y + 1) * w);
    }
    EXPECT_FALSE(host::ReadPlaceCodes(mirrored.data(), w, h, w, kWidth, kHeight, maps));
    EXPECT_FALSE(host::CanCodePlaces(4096, 768));
    EXPECT_FALSE(host::CanCodePlaces(0, 768));
    EXPECT_FALSE(host::ReadPlaceCodes(clean.words.data(), w, h, w, 4096, kHeight, maps));
}

TEST(PictureScaling, AdoptedMapsAreFollowedToThePixel) {
    CodedScreen screen;
    ASSERT_TRUE(screen.read);
    constexpr int w = CodedScreen::w;
    constexpr int h = CodedScreen::h;
    const host::FrameView& frame = screen.frame;
    ScaleMaps& maps = screen.maps;
    // Another scaler rounds column 2 and row 2 down where ours rounds up.
    ASSERT_EQ(maps.columns[2], 2);
    ASSERT_EQ(maps.rows[2], 2);
    maps.columns[2] = 1;
    maps.rows[2] = 1;
    const ScaleMaps adopted = maps;
    host::PictureScaler scaler;
    scaler.Adopt(kWidth, kHeight, w, h, maps);
    Target target(w, h);
    scaler.Show(frame, target.view, kWidth, kHeight);
    ScaleMaps seen;
    ASSERT_TRUE(host::ReadPlaceCodes(target.words.data(), w, h, w, kWidth, kHeight, seen));
    EXPECT_EQ(seen.place, adopted.place);
    EXPECT_EQ(seen.columns, adopted.columns);
    EXPECT_EQ(seen.rows, adopted.rows);
    // Another target size is worked out afresh.
    Target other(1920, 1080);
    scaler.Show(frame, other.view, kWidth, kHeight);
    ASSERT_TRUE(host::ReadPlaceCodes(other.words.data(), 1920, 1080, 1920, kWidth, kHeight, seen));
    EXPECT_EQ(seen.place, (Placement{240, 0, 1440, 1080}));
}

TEST(PictureScaling, BarsAreDrawnOnceForEachTarget) {
    const std::vector<std::uint32_t> codes = Codes(kWidth, kHeight);
    const host::FrameView frame{codes.data(), kWidth, kHeight, kWidth};
    Target target(1920, 1080);
    host::PictureScaler scaler;
    scaler.Show(frame, target.view, kWidth, kHeight);
    EXPECT_EQ(target.words[0], 0u);
    EXPECT_EQ(target.words[1919], 0u);
    // Left alone from then on...
    target.words[0] = Target::kMarker;
    target.words[1919] = Target::kMarker;
    scaler.Show(frame, target.view, kWidth, kHeight);
    EXPECT_EQ(target.words[0], Target::kMarker);
    EXPECT_EQ(target.words[1919], Target::kMarker);
    // ...until the host says the target may be new, or it is another.
    scaler.Forget();
    scaler.Show(frame, target.view, kWidth, kHeight);
    EXPECT_EQ(target.words[0], 0u);
    EXPECT_EQ(target.words[1919], 0u);
    Target other(1920, 1080);
    scaler.Show(frame, other.view, kWidth, kHeight);
    EXPECT_EQ(other.words[0], 0u);
    EXPECT_EQ(other.words[1919], 0u);
}

TEST(PictureScaling, OnlyRowsThatChangedAreCopiedAndReported) {
    const std::vector<std::uint32_t> a = Codes(kWidth, kHeight);
    Target target(kWidth, kHeight, 2);
    host::PictureScaler scaler;
    const auto show = [&](const std::vector<std::uint32_t>& picture) {
        scaler.Show(host::FrameView{picture.data(), kWidth, kHeight, kWidth}, target.view, kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * kWidth + x;
                if (target.words[static_cast<std::size_t>(y) * target.stride + x] != picture[i]) {
                    return false;
                }
            }
        }
        return true;
    };
    const auto bands = [&] {
        int count = 0;
        const Placement* changed = scaler.Changed(count);
        return std::vector<Placement>(changed, changed + count);
    };
    ASSERT_TRUE(show(a));
    EXPECT_TRUE(scaler.ChangedAll());

    // Rows 10 to 12 and 100 change, row 200 only in its top byte, which still counts.
    std::vector<std::uint32_t> b = a;
    for (const int y : {10, 11, 12, 100}) {
        b[static_cast<std::size_t>(y) * kWidth + 7 * y] ^= 0x00010000;
    }
    b[200 * kWidth + 1023] ^= 0x80000000;
    ASSERT_TRUE(show(b));
    EXPECT_FALSE(scaler.ChangedAll());
    EXPECT_EQ(bands(), (std::vector<Placement>{{0, 10, kWidth, 3}, {0, 100, kWidth, 1}, {0, 200, kWidth, 1}}));
    ASSERT_TRUE(show(b));
    EXPECT_FALSE(scaler.ChangedAll());
    EXPECT_TRUE(bands().empty());

    // More bands than are kept: the last one grows to cover the rest.
    std::vector<std::uint32_t> c = b;
    for (int y = 1; y < kHeight; y += 4) {
        c[static_cast<std::size_t>(y) * kWidth] ^= 0xFF;
    }
    ASSERT_TRUE(show(c));
    const std::vector<Placement> many = bands();
    ASSERT_EQ(many.size(), static_cast<std::size_t>(host::PictureScaler::kMaxChanged));
    for (int y = 1; y < kHeight; y += 4) {
        bool covered = false;
        for (const Placement& band : many) {
            covered = covered || (y >= band.y && y < band.y + band.height);
        }
        EXPECT_TRUE(covered) << "row " << y;
    }

    // A target that may be new is drawn and reported whole.
    scaler.Forget();
    ASSERT_TRUE(show(c));
    EXPECT_TRUE(scaler.ChangedAll());

    // Scaled, the bars go once, and then only the target rows of picture rows that changed.
    Target large(1920, 1080);
    const auto scaled = [&](const std::vector<std::uint32_t>& picture) {
        scaler.Show(host::FrameView{picture.data(), kWidth, kHeight, kWidth}, large.view, kWidth, kHeight);
    };
    scaled(a);
    EXPECT_TRUE(scaler.ChangedAll());
    scaled(a);
    EXPECT_FALSE(scaler.ChangedAll());
    EXPECT_TRUE(bands().empty());
    // Picture rows 10 to 12 and 100 show on target rows 14 to 17 (four of them, by 1.40625)
    // and 141 to 142.
    scaled(b);
    EXPECT_FALSE(scaler.ChangedAll());
    EXPECT_EQ(bands(), (std::vector<Placement>{{240, 14, 1440, 4}, {240, 141, 1440, 1}, {240, 281, 1440, 2}}));
    // Going back and forth, the target always equals a scaling made afresh.
    using Picture = const std::vector<std::uint32_t>*;
    for (const Picture picture : {Picture{&c}, Picture{&a}, Picture{&b}, Picture{&b}, Picture{&c}}) {
        scaled(*picture);
        Target fresh(1920, 1080);
        host::PictureScaler().Show(host::FrameView{picture->data(), kWidth, kHeight, kWidth}, fresh.view,
                                   kWidth, kHeight);
        ASSERT_TRUE(large.words == fresh.words);
    }
}

bool HaveXvfb() { return std::system("command -v Xvfb >/dev/null") == 0; }

// Shows each picture in turn through the SDL2 host on a private screen of width x height,
// each until the screen holds it (as `seen` says of it), and returns the last grab.
Shot ShowOnScreen(int width, int height, bool windowed,
                  const std::vector<std::vector<std::uint32_t>>& pictures,
                  const std::function<bool(const Shot&, const std::vector<std::uint32_t>&)>& seen) {
    Desktop desktop;
    std::string error;
    if (!desktop.Start(error, width, height)) {
        ADD_FAILURE() << error;
        return {};
    }
    const ScopedEnv display("DISPLAY", desktop.DisplayName().c_str());
    const ScopedEnv driver("SDL_VIDEODRIVER", "x11");
    host::SdlHost sdl(windowed);
    if (!sdl.OpenWindow(kWidth, kHeight, "PICTURE")) {
        ADD_FAILURE() << "no window";
        return {};
    }
    Shot shot;
    for (const std::vector<std::uint32_t>& picture : pictures) {
        const std::int64_t deadline = NowMs() + 10000;
        do {
            host::Event event;
            while (sdl.NextEvent(event)) {
            }
            sdl.Present(picture.data(), kWidth, kHeight);
            shot = desktop.Grab();
        } while (!seen(shot, picture) && NowMs() < deadline);
    }
    sdl.CloseWindow();
    return shot;
}

// Place codes whose top bytes vary, as the program's own frames do: the screen must not
// care about them.
std::vector<std::uint32_t> CodesWithAlpha() {
    std::vector<std::uint32_t> picture = Codes(kWidth, kHeight);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = (picture[i] & 0x00FFFFFFu) | static_cast<std::uint32_t>(i * 37 % 256) << 24;
    }
    return picture;
}

TEST(PictureOnScreen, AWindowOfThePicturesSizeShowsItExactly) {
    if (!HaveXvfb()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const std::vector<std::uint32_t> picture = CodesWithAlpha();
    // Then a picture in which a band and a few lone rows changed.
    std::vector<std::uint32_t> changed = picture;
    for (int y = 0; y < kHeight; ++y) {
        if ((y >= 40 && y < 400) || y % 97 == 0) {
            for (int x = 0; x < 700; ++x) {
                changed[static_cast<std::size_t>(y) * kWidth + x] ^= 0x00808080;
            }
        }
    }
    const auto exact = [&](const Shot& s, const std::vector<std::uint32_t>& shown) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (s.At(x, y) != (shown[static_cast<std::size_t>(y) * kWidth + x] & 0x00FFFFFFu)) {
                    return false;
                }
            }
        }
        return true;
    };
    for (const bool windowed : {true, false}) {
        SCOPED_TRACE(windowed ? "windowed" : "full screen");
        const Shot shot = ShowOnScreen(kWidth, kHeight, windowed, {picture, changed}, exact);
        ASSERT_EQ(shot.width, kWidth);
        EXPECT_TRUE(exact(shot, changed));
    }
}

TEST(PictureOnScreen, ALargerScreenShowsItScaledByNearestPixelBetweenBlackBars) {
    if (!HaveXvfb()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const std::vector<std::uint32_t> picture = CodesWithAlpha();
    constexpr int w = 1280;
    constexpr int h = 1024;
    const auto scaled = [&](const Shot& s, const std::vector<std::uint32_t>&) {
        ScaleMaps maps;
        return s.width == w && host::ReadPlaceCodes(s.pixels.data(), w, h, w, kWidth, kHeight, maps);
    };
    const Shot shot = ShowOnScreen(w, h, false, {picture}, scaled);
    ScaleMaps maps;
    ASSERT_TRUE(shot.width == w && host::ReadPlaceCodes(shot.pixels.data(), w, h, w, kWidth, kHeight, maps));
    EXPECT_EQ(maps.place, (Placement{0, 32, 1280, 960}));
    // Nearest pixel: each screen column and row shows the picture's under its centre, give or
    // take the rounding of a centre that falls right on a picture pixel's edge.
    for (int x = 0; x < w; ++x) {
        EXPECT_NEAR(maps.columns[x], (x + 0.5) * kWidth / w, 1.0) << x;
    }
    for (int y = 0; y < 960; ++y) {
        EXPECT_NEAR(maps.rows[y], (y + 0.5) * kHeight / 960, 1.0) << y;
    }
}

} // namespace
} // namespace e2e
