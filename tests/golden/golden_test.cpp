// The pinned frame, pixel for pixel: the program's own frame (see frame_scene.h) against
// tests/golden/frame.png, which was made by this test on Debian 12 with fonts-dejavu-core.
// On a difference it writes frame.actual.png and frame.diff.png into the build folder.
// VORMIKA_UPDATE_GOLDEN=1 writes a new golden and its record instead of comparing.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "golden/frame_scene.h"
#include "platform/fonts.h"
#include "scene/scene.h"

namespace {

constexpr int kWidth = host::HeadlessHost::kWidth;
constexpr int kHeight = host::HeadlessHost::kHeight;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;

const std::string kGoldenDir = std::string(VORMIKA_SOURCE_DIR) + "/tests/golden/";

using Frame = std::vector<std::uint32_t>;

// The text fonts the frame uses, as the program asks for them: the interface font and the
// disc label's.
std::map<std::string, std::string> Environment() {
    return {{"ui_face", fonts::FaceName({"Small Fonts", -9, 400, false})},
            {"label_face", fonts::FaceName({"Verdana", -19, 700, false})},
            {"freetype", fonts::FreeTypeVersion()}};
}

// "key value" lines.
std::map<std::string, std::string> ReadRecord(const std::string& path) {
    std::map<std::string, std::string> record;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        if (space != std::string::npos) record[line.substr(0, space)] = line.substr(space + 1);
    }
    return record;
}

// FNV-1a over the whole words: pins the alpha bytes, which the PNG does not hold.
std::string WordsHash(const Frame& frame) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint32_t word : frame) {
        for (int i = 0; i < 4; ++i) h = (h ^ ((word >> (8 * i)) & 0xFF)) * 1099511628211ull;
    }
    std::ostringstream out;
    out << std::hex << h;
    return out.str();
}

// The frame as 0x00RRGGBB words; empty when the file cannot be read as 1024 x 768.
Frame ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return {};
    image.format = PNG_FORMAT_BGRA;
    if (image.width != kWidth || image.height != kHeight) {
        png_image_free(&image);
        return {};
    }
    Frame frame(kPixels);
    if (png_image_finish_read(&image, nullptr, frame.data(), 0, nullptr) == 0) return {};
    for (std::uint32_t& word : frame) word &= 0x00FFFFFFu;
    return frame;
}

void WriteOrFail(const std::string& path, const Frame& frame) {
    std::string why;
    EXPECT_TRUE(replay::WritePng(path, frame.data(), why)) << path << ": " << why;
}

struct Captured {
    Frame first;  // as the program's first pass presented it
    Frame again;  // a second RenderFrame at the same tick
};

void Capture(void* context) {
    auto* out = static_cast<Captured*>(context);
    const std::uint32_t* shown = replay::Host().LastFrame();
    out->first.assign(shown, shown + kPixels);
    RenderFrame();
    shown = replay::Host().LastFrame();
    out->again.assign(shown, shown + kPixels);
}

class GoldenFrame : public ::testing::Test {
protected:
    void SetUp() override {
        record = ReadRecord(kGoldenDir + "frame.txt");
        if (std::getenv("VORMIKA_UPDATE_GOLDEN") != nullptr) return;
        for (const auto& [key, value] : Environment()) {
            if (record[key] != value) {
                GTEST_SKIP() << "the golden frame was made with " << key << " \"" << record[key]
                             << "\", this machine has \"" << value
                             << "\": text pixels would differ";
            }
        }
    }

    std::map<std::string, std::string> record;
};

TEST_F(GoldenFrame, EveryPixelAsPinned) {
    Captured frames;
    ASSERT_EQ(golden::WithFrame(Capture, &frames), 0);
    ASSERT_EQ(frames.first.size(), kPixels);
    // Nothing carries over from one frame to the next: the same tick draws the same frame.
    EXPECT_TRUE(frames.first == frames.again) << "a second frame at the same tick differs";

    if (std::getenv("VORMIKA_UPDATE_GOLDEN") != nullptr) {
        WriteOrFail(kGoldenDir + "frame.png", frames.first);
        std::ofstream out(kGoldenDir + "frame.txt");
        for (const auto& [key, value] : Environment()) out << key << ' ' << value << '\n';
        out << "words_fnv1a " << WordsHash(frames.first) << '\n';
        return;
    }

    const Frame golden = ReadPng(kGoldenDir + "frame.png");
    ASSERT_EQ(golden.size(), kPixels) << "cannot read " << kGoldenDir << "frame.png";
    Frame diff(kPixels, 0);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < kPixels; ++i) {
        if ((frames.first[i] & 0x00FFFFFFu) != golden[i]) {
            diff[i] = 0x00FF0000u;
            ++differing;
        } else {
            // The unchanged picture, dimmed, so that the red marks stand out in place.
            diff[i] = (golden[i] >> 2) & 0x003F3F3Fu;
        }
    }
    if (differing > 0) {
        const std::string dir = std::string(VORMIKA_BINARY_DIR) + "/";
        WriteOrFail(dir + "frame.actual.png", frames.first);
        WriteOrFail(dir + "frame.diff.png", diff);
        ADD_FAILURE() << differing << " pixels differ from the golden frame; see " << dir
                      << "frame.actual.png and " << dir << "frame.diff.png";
        return;
    }
    EXPECT_EQ(WordsHash(frames.first), record["words_fnv1a"])
        << "the colours match but the alpha bytes differ";
}

} // namespace
