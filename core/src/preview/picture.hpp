// The picture as it travels through the pipeline: 8-bit RGB, rows top to
// bottom, no padding. Also the size rule every decoder fits its output to.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "buffer.hpp"

namespace orv::preview {

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Picture {
    Size size;
    // width * height * 3 bytes. Left uninitialised on allocation: every
    // producer writes each byte before the picture leaves it.
    Buffer rgb;

    size_t byte_count() const { return size_t{size.width} * size.height * 3; }
};

inline Picture make_picture(Size size) {
    Picture p{size, nullptr};
    p.rgb = allocate_buffer(p.byte_count());
    return p;
}

// Pictures are refused before any pixel buffer exists when they declare more
// pixels than this. The largest camera sensors stay well below it; a tiny
// hostile header claiming 100000 x 100000 does not.
inline constexpr uint64_t kPixelLimit = 200'000'000;
// Buffers one row long are allocated too; this bounds them for a picture
// that stays under the pixel limit by being one pixel high.
inline constexpr uint64_t kSideLimit = 1'000'000;

// The most a decoder holds of a picture at full size besides its output:
// an interlaced PNG's whole frame, or the one strip or tile libtiff decodes
// whole. Pictures that would need more are refused rather than shown at the
// cost of hundreds of megabytes.
inline constexpr uint64_t kHeldBytesLimit = uint64_t{256} << 20;

// What decoding one picture may hold besides the fitted output. Pictures
// that would need more are refused (or, for a JPEG's scaled decode, decoded
// smaller and resampled the rest of the way).
struct Budget {
    // An interlaced PNG's whole frame, the one strip or tile libtiff decodes
    // whole, or a JPEG decoded at a DCT scale before it is resampled.
    uint64_t held_bytes = kHeldBytesLimit;
    // The coefficients a JPEG keeps for the whole picture when it cannot be
    // finished in one pass (progressive or component-by-component scans);
    // a tiny file can claim gigabytes of them.
    uint64_t coefficient_bytes = uint64_t{512} << 20;
};

// The preview's: one picture at a time, the one a user is looking at.
inline constexpr Budget kPreviewBudget{};
// A thumbnail's: file managers run several thumbnailers at once.
inline constexpr Budget kThumbnailBudget{uint64_t{128} << 20, uint64_t{128} << 20};

inline bool within_pixel_limit(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= kSideLimit && height <= kSideLimit && width * height <= kPixelLimit;
}

// How a picture is fitted: into bound x bound, and whether a smaller one is
// enlarged to it (the preview is; a thumbnail never is).
struct Fit {
    uint32_t bound = 0;
    bool enlarge = true;
    constexpr Fit(uint32_t side, bool enlarge_smaller = true) : bound(side), enlarge(enlarge_smaller) {}
};

// The longer side becomes the bound, the other keeps the aspect ratio; sides
// are rounded half away from zero and never drop below one pixel. Smaller
// pictures are enlarged by the same rule, or kept as they are.
inline Size fit_size(Size source, Fit fit) {
    double ratio = std::min(double(fit.bound) / source.width, double(fit.bound) / source.height);
    if (!fit.enlarge && ratio > 1) ratio = 1;
    const auto side = [ratio](uint32_t s) {
        return static_cast<uint32_t>(std::max(1.0, std::round(s * ratio)));
    };
    return {side(source.width), side(source.height)};
}

}  // namespace orv::preview
