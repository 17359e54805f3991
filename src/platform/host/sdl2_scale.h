// Putting the finished picture into the window's own pixels: a straight copy when the window
// is the picture's size, else scaled by nearest pixel, keeping its shape, with black bars.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace host {

// Rows of 0x??RRGGBB words, `stride` words apart.
struct PixelView {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

struct FrameView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// Where the picture lands in a target of another size.
struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Placement&) const = default;
};

// The largest area of the picture's shape that fits the target, centred: full width with
// bars above and below, or full height with bars at the sides.
Placement PlacePicture(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight);

// A picture of pictureWidth x pictureHeight (each below 2048 x 8192) whose every pixel tells
// its own place: shown scaled by whatever means, a grab of the result gives back where each
// target pixel's colour came from.
void FillPlaceCodes(std::uint32_t* pixels, int pictureWidth, int pictureHeight);
bool CanCodePlaces(int pictureWidth, int pictureHeight);

// Where a picture of place codes landed in `shot`, and which picture column and row each
// target column and row shows. False unless the shot is exactly that: black outside one
// rectangle, inside it the codes of a column map times a row map, each covering the picture
// in order.
struct ScaleMaps {
    Placement place;
    std::vector<int> columns;
    std::vector<int> rows;
};
bool ReadPlaceCodes(const std::uint32_t* shot, int width, int height, int stride,
                    int pictureWidth, int pictureHeight, ScaleMaps& maps);

class PictureScaler {
public:
    PictureScaler();

    // Uses these maps for this picture and target size rather than working them out; for a
    // scaling that must match another's to the pixel.
    void Adopt(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight,
               ScaleMaps maps);

    // Shows `frame` as a picture of pictureWidth x pictureHeight in `target`. Parts of the
    // picture the frame does not cover are black. Allocates only when a size changes.
    // The bars are drawn when the target is new (another place or size) and then left alone;
    // Forget() has them drawn again, for a target that may be new at the same place.
    void Show(const FrameView& frame, const PixelView& target, int pictureWidth, int pictureHeight);
    void Forget() { known_ = PixelView{}; }

    // What the last Show changed in the target: all of it, or these bands (none when the
    // frame was the same as the one before).
    static constexpr int kMaxChanged = 32;
    bool ChangedAll() const { return changedAll_; }
    const Placement* Changed(int& count) const {
        count = changedCount_;
        return changed_.data();
    }

private:
    // The source column of each target column and the source row of each target row, for
    // the current sizes.
    void Plan(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight);

    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    int targetWidth_ = 0;
    int targetHeight_ = 0;
    Placement place_;
    std::vector<int> columns_;
    std::vector<int> rows_;
    // Where the columns allow it, per run of eight target columns the first of the eight
    // picture columns they show and which of those each shows; empty otherwise. Also makes
    // room for the kept frame.
    void PlanWindows();
    std::vector<int> starts_;
    std::vector<int> shuffles_;
    void NoteChangedRow(int y, int x, int width);
    std::vector<std::uint32_t> last_; // the frame last scaled, when it was whole
    bool lastValid_ = false;
    PixelView known_; // the target last drawn whole, bars and all
    std::array<Placement, kMaxChanged> changed_{};
    int changedCount_ = 0;
    bool changedAll_ = true;
    // Fills a scaled row: out[x] = in[columns[x]]; AVX2 where the processor has it.
    void (*spread_)(std::uint32_t* out, const std::uint32_t* in, const int* columns, int count,
                    const int* starts, const int* shuffles);
};

} // namespace host
