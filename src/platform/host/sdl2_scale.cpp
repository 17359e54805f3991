// Nearest-pixel scaling of the picture into the window (see sdl2_scale.h).
#include "platform/host/sdl2_scale.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace host {

Placement PlacePicture(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight) {
    Placement place{0, 0, targetWidth, targetHeight};
    if (pictureWidth <= 0 || pictureHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) {
        return place;
    }
    // Compared as cross products, so that an exact fit has no bars at all.
    const std::int64_t wide = std::int64_t{pictureWidth} * targetHeight;
    const std::int64_t tall = std::int64_t{targetWidth} * pictureHeight;
    if (wide > tall) {
        place.height = std::max(1, static_cast<int>(std::int64_t{pictureHeight} * targetWidth / pictureWidth));
        place.y = (targetHeight - place.height) / 2;
    } else if (wide < tall) {
        place.width = std::max(1, static_cast<int>(std::int64_t{pictureWidth} * targetHeight / pictureHeight));
        place.x = (targetWidth - place.width) / 2;
    }
    return place;
}

namespace {

constexpr int kColumnBits = 11;

std::uint32_t PlaceCode(int column, int row) {
    // Zero is black, the bars' colour; every place codes to something else.
    return (static_cast<std::uint32_t>(row + 1) << kColumnBits) | static_cast<std::uint32_t>(column + 1);
}

// The maps a shot's codes give must step through the picture in order; shown at its size or
// larger, missing nothing.
bool InOrder(const std::vector<int>& map, int size) {
    if (map.empty() || map.front() < 0 || map.back() >= size) {
        return false;
    }
    const bool whole = map.size() >= static_cast<std::size_t>(size);
    if (whole && (map.front() != 0 || map.back() != size - 1)) {
        return false;
    }
    for (std::size_t i = 1; i < map.size(); ++i) {
        const int step = map[i] - map[i - 1];
        if (step < 0 || (whole && step > 1)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool CanCodePlaces(int pictureWidth, int pictureHeight) {
    return pictureWidth > 0 && pictureHeight > 0 && pictureWidth < (1 << kColumnBits) - 1 &&
           pictureHeight < (1 << (24 - kColumnBits)) - 1;
}

void FillPlaceCodes(std::uint32_t* pixels, int pictureWidth, int pictureHeight) {
    for (int y = 0; y < pictureHeight; ++y) {
        for (int x = 0; x < pictureWidth; ++x) {
            pixels[std::ptrdiff_t{y} * pictureWidth + x] = 0xFF000000u | PlaceCode(x, y);
        }
    }
}

bool ReadPlaceCodes(const std::uint32_t* shot, int width, int height, int stride,
                    int pictureWidth, int pictureHeight, ScaleMaps& maps) {
    if (shot == nullptr || width <= 0 || height <= 0 || !CanCodePlaces(pictureWidth, pictureHeight)) {
        return false;
    }
    const auto at = [&](int x, int y) {
        return shot[std::ptrdiff_t{y} * stride + x] & 0x00FFFFFFu;
    };
    // The picture's top-left corner is the first coded pixel in reading order.
    int left = -1;
    int top = -1;
    for (int y = 0; y < height && top < 0; ++y) {
        for (int x = 0; x < width; ++x) {
            if (at(x, y) != 0) {
                left = x;
                top = y;
                break;
            }
        }
    }
    if (top < 0) {
        return false;
    }
    int right = left;
    while (right < width && at(right, top) != 0) {
        ++right;
    }
    int bottom = top;
    while (bottom < height && at(left, bottom) != 0) {
        ++bottom;
    }
    maps.place = Placement{left, top, right - left, bottom - top};
    maps.columns.resize(static_cast<std::size_t>(right - left));
    maps.rows.resize(static_cast<std::size_t>(bottom - top));
    const std::uint32_t columnMask = (1u << kColumnBits) - 1;
    for (int x = left; x < right; ++x) {
        maps.columns[static_cast<std::size_t>(x - left)] = static_cast<int>(at(x, top) & columnMask) - 1;
    }
    for (int y = top; y < bottom; ++y) {
        maps.rows[static_cast<std::size_t>(y - top)] = static_cast<int>(at(left, y) >> kColumnBits) - 1;
    }
    if (!InOrder(maps.columns, pictureWidth) || !InOrder(maps.rows, pictureHeight)) {
        return false;
    }
    // Every pixel must agree with the two maps, and everything else be black.
    for (int y = 0; y < height; ++y) {
        const bool inRows = y >= top && y < bottom;
        for (int x = 0; x < width; ++x) {
            const bool inside = inRows && x >= left && x < right;
            const std::uint32_t expected =
                inside ? PlaceCode(maps.columns[static_cast<std::size_t>(x - left)],
                                   maps.rows[static_cast<std::size_t>(y - top)])
                       : 0u;
            if (at(x, y) != expected) {
                return false;
            }
        }
    }
    return true;
}

void PictureScaler::Adopt(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight,
                          ScaleMaps maps) {
    pictureWidth_ = pictureWidth;
    pictureHeight_ = pictureHeight;
    targetWidth_ = targetWidth;
    targetHeight_ = targetHeight;
    place_ = maps.place;
    columns_ = std::move(maps.columns);
    rows_ = std::move(maps.rows);
    PlanWindows();
}

void PictureScaler::Plan(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight) {
    if (pictureWidth == pictureWidth_ && pictureHeight == pictureHeight_ &&
        targetWidth == targetWidth_ && targetHeight == targetHeight_) {
        return;
    }
    pictureWidth_ = pictureWidth;
    pictureHeight_ = pictureHeight;
    targetWidth_ = targetWidth;
    targetHeight_ = targetHeight;
    place_ = PlacePicture(pictureWidth, pictureHeight, targetWidth, targetHeight);
    // Each target pixel takes the picture pixel under its centre.
    columns_.resize(static_cast<std::size_t>(place_.width));
    for (int x = 0; x < place_.width; ++x) {
        columns_[static_cast<std::size_t>(x)] = static_cast<int>(
            (2 * std::int64_t{x} + 1) * pictureWidth / (2 * std::int64_t{place_.width}));
    }
    rows_.resize(static_cast<std::size_t>(place_.height));
    for (int y = 0; y < place_.height; ++y) {
        rows_[static_cast<std::size_t>(y)] = static_cast<int>(
            (2 * std::int64_t{y} + 1) * pictureHeight / (2 * std::int64_t{place_.height}));
    }
    PlanWindows();
}

namespace {

void SpreadScalar(std::uint32_t* out, const std::uint32_t* in, const int* columns, int count,
                  const int*, const int*) {
    for (int x = 0; x < count; ++x) {
        out[x] = in[columns[x]];
    }
}

#if defined(__x86_64__) || defined(__i386__)
#pragma GCC push_options
#pragma GCC target("avx2")
// Eight target pixels per step: from a window of eight picture pixels, shuffled, where the
// scaling has such windows (a picture shown at its size or larger); else gathered.
void SpreadAvx2(std::uint32_t* out, const std::uint32_t* in, const int* columns, int count,
                const int* starts, const int* shuffles) {
    int x = 0;
    if (starts != nullptr) {
        for (int chunk = 0; x + 8 <= count; x += 8, ++chunk) {
            const __m256i window = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + starts[chunk]));
            const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shuffles + 8 * chunk));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permutevar8x32_epi32(window, order));
        }
    } else {
        const int* const base = reinterpret_cast<const int*>(in);
        for (; x + 8 <= count; x += 8) {
            const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + x));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_i32gather_epi32(base, index, 4));
        }
    }
    for (; x < count; ++x) {
        out[x] = in[columns[x]];
    }
}
#pragma GCC pop_options
#endif

bool SameTarget(const PixelView& a, const PixelView& b) {
    return a.pixels == b.pixels && a.width == b.width && a.height == b.height && a.stride == b.stride;
}

void FillBlack(std::uint32_t* row, int count) {
    if (count > 0) {
        std::memset(row, 0, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
    }
}

} // namespace

void PictureScaler::NoteChangedRow(int y, int x, int width) {
    if (changedCount_ > 0) {
        Placement& last = changed_[static_cast<std::size_t>(changedCount_ - 1)];
        // A row right under the last band, or any row once the list is full, widens the last.
        if (last.y + last.height == y || changedCount_ == kMaxChanged) {
            last.height = y + 1 - last.y;
            return;
        }
    }
    changed_[static_cast<std::size_t>(changedCount_++)] = Placement{x, y, width, 1};
}

PictureScaler::PictureScaler() : spread_(SpreadScalar) {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) {
        spread_ = SpreadAvx2;
    }
#endif
}

void PictureScaler::PlanWindows() {
    // Each run of eight target columns reads eight neighbouring picture columns, the window
    // pulled back from the row's end so as never to read past it.
    starts_.clear();
    shuffles_.clear();
    known_ = PixelView{};
    last_.resize(static_cast<std::size_t>(pictureWidth_) * static_cast<std::size_t>(pictureHeight_));
    lastValid_ = false;
    const int chunks = place_.width / 8;
    if (pictureWidth_ < 8) {
        return;
    }
    starts_.resize(static_cast<std::size_t>(chunks));
    shuffles_.resize(static_cast<std::size_t>(chunks) * 8);
    for (int chunk = 0; chunk < chunks; ++chunk) {
        const int* columns = columns_.data() + 8 * chunk;
        const int start = std::min(columns[0], pictureWidth_ - 8);
        if (columns[0] < start || columns[7] - start > 7) {
            starts_.clear();
            shuffles_.clear();
            return;
        }
        starts_[static_cast<std::size_t>(chunk)] = start;
        for (int i = 0; i < 8; ++i) {
            shuffles_[static_cast<std::size_t>(8 * chunk + i)] = columns[i] - start;
        }
    }
}

void PictureScaler::Show(const FrameView& frame, const PixelView& target, int pictureWidth,
                         int pictureHeight) {
    if (target.pixels == nullptr || target.width <= 0 || target.height <= 0 ||
        pictureWidth <= 0 || pictureHeight <= 0) {
        return;
    }
    const int frameWidth = frame.pixels != nullptr ? std::max(frame.width, 0) : 0;
    const int frameHeight = frame.pixels != nullptr ? std::max(frame.height, 0) : 0;
    if (pictureWidth == target.width && pictureHeight == target.height) {
        // One to one: the common case, a window of the picture's size. Only rows that differ
        // from what the target holds are copied and reported, once the target is known.
        const bool known = SameTarget(target, known_);
        known_ = target;
        changedAll_ = !known;
        changedCount_ = 0;
        const int copied = std::min(frameWidth, pictureWidth);
        const std::size_t rowBytes = static_cast<std::size_t>(pictureWidth) * sizeof(std::uint32_t);
        for (int y = 0; y < pictureHeight; ++y) {
            std::uint32_t* out = target.pixels + std::ptrdiff_t{y} * target.stride;
            if (y < frameHeight && copied == pictureWidth) {
                const std::uint32_t* in = frame.pixels + std::ptrdiff_t{y} * frame.stride;
                if (known && std::memcmp(out, in, rowBytes) == 0) {
                    continue;
                }
                std::memcpy(out, in, rowBytes);
            } else if (y < frameHeight) {
                std::memcpy(out, frame.pixels + std::ptrdiff_t{y} * frame.stride,
                            static_cast<std::size_t>(copied) * sizeof(std::uint32_t));
                FillBlack(out + copied, pictureWidth - copied);
            } else {
                FillBlack(out, pictureWidth);
            }
            NoteChangedRow(y, 0, pictureWidth);
        }
        return;
    }
    Plan(pictureWidth, pictureHeight, target.width, target.height);
    const Placement& p = place_;
    // The bars keep what was drawn in them until the target is another one; after that only
    // the picture changes.
    changedCount_ = 0;
    changedAll_ = !SameTarget(target, known_);
    if (changedAll_) {
        for (int y = 0; y < target.height; ++y) {
            std::uint32_t* out = target.pixels + std::ptrdiff_t{y} * target.stride;
            if (y < p.y || y >= p.y + p.height) {
                FillBlack(out, target.width);
            } else {
                FillBlack(out, p.x);
                FillBlack(out + p.x + p.width, target.width - p.x - p.width);
            }
        }
        known_ = target;
    }
    // A whole frame is kept, so that the next one scales only the rows that differ from it.
    const bool whole = frameWidth >= pictureWidth && frameHeight >= pictureHeight;
    const bool compare = whole && !changedAll_ && lastValid_;
    lastValid_ = whole;
    const int* starts = starts_.empty() ? nullptr : starts_.data();
    const int* shuffles = shuffles_.empty() ? nullptr : shuffles_.data();
    const std::uint32_t* previous = nullptr; // the last row scaled, and from which source row
    int previousSource = -1;
    bool previousChanged = false;
    const std::size_t rowBytes = static_cast<std::size_t>(pictureWidth) * sizeof(std::uint32_t);
    for (int y = 0; y < p.height; ++y) {
        std::uint32_t* span = target.pixels + std::ptrdiff_t{p.y + y} * target.stride + p.x;
        const int source = rows_[static_cast<std::size_t>(y)];
        if (source == previousSource) {
            // A source row shown on several target rows is scaled once.
            if (previousChanged) {
                std::memcpy(span, previous, static_cast<std::size_t>(p.width) * sizeof(std::uint32_t));
                NoteChangedRow(p.y + y, p.x, p.width);
            }
            continue;
        }
        previous = span;
        previousSource = source;
        if (whole) {
            const std::uint32_t* in = frame.pixels + std::ptrdiff_t{source} * frame.stride;
            std::uint32_t* kept = last_.data() + std::ptrdiff_t{source} * pictureWidth;
            previousChanged = !compare || std::memcmp(kept, in, rowBytes) != 0;
            if (previousChanged) {
                std::memcpy(kept, in, rowBytes);
                spread_(span, in, columns_.data(), p.width, starts, shuffles);
                NoteChangedRow(p.y + y, p.x, p.width);
            }
            continue;
        }
        previousChanged = true;
        NoteChangedRow(p.y + y, p.x, p.width);
        if (source >= frameHeight) {
            FillBlack(span, p.width);
            continue;
        }
        const std::uint32_t* in = frame.pixels + std::ptrdiff_t{source} * frame.stride;
        for (int x = 0; x < p.width; ++x) {
            const int column = columns_[static_cast<std::size_t>(x)];
            span[x] = column < frameWidth ? in[column] : 0;
        }
    }
}

} // namespace host
