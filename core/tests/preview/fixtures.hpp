// Pictures made at test time with the real codec libraries, and readers for
// what the pipeline returns.
#pragma once

#include <turbojpeg.h>

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "preview/picture.hpp"
#include "test_support.hpp"

namespace orv::test {

using preview::Picture;
using preview::Size;

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kRed{220, 30, 30}, kGreen{30, 200, 40}, kBlue{30, 40, 220}, kWhite{240, 240, 240};

// Equal flat blocks, `columns` to a row, coloured row by row.
Picture grid(Size size, uint32_t columns, std::span<const Rgb> colours);
// Four quadrants: top-left, top-right, bottom-left, bottom-right.
Picture quadrants(Size size, Rgb tl = kRed, Rgb tr = kGreen, Rgb bl = kBlue, Rgb br = kWhite);
inline Picture solid(Size size, Rgb c) { return grid(size, 1, {&c, 1}); }
Rgb pixel_at(const Picture& p, uint32_t x, uint32_t y);
// The colours at the centres of the four quadrants, in the order above.
std::vector<Rgb> quadrant_colours(const Picture& p);
// The largest distance of those from `want`, the four quadrants' colours.
int quadrant_error(const Picture& p, const std::vector<Rgb>& want);
int distance(Rgb a, Rgb b);  // largest channel difference
int luma(Rgb c);

struct JpegOptions {
    int subsampling = TJSAMP_420;
    bool progressive = false;
    bool grey = false;
    bool cmyk = false;  // stored the Adobe way, inverted
};
std::string make_jpeg(const Picture& p, JpegOptions options = {});

struct PngOptions {
    bool grey = false;
    bool palette = false;
    bool alpha = false;  // with alpha 0 (fully transparent) everywhere
    int depth = 8;
    bool interlaced = false;
};
std::string make_png(const Picture& p, PngOptions options = {});

// RGB in 16-row strips.
struct TiffOptions {
    bool alpha = false;  // unassociated, 0 everywhere
    uint16_t orientation = 1;
    bool second_page = false;  // a blue page after the picture
};
std::string make_tiff(const Picture& p, TiffOptions options = {});

// A flat picture written from one row, so that it can be far larger than the
// memory the test may take.
std::string make_flat_png(Size size, Rgb c, bool interlaced);

// How a TIFF stores its samples.
struct TiffLayout {
    uint16_t photometric = PHOTOMETRIC_RGB;
    uint16_t samples = 3;  // a fourth (or, for grey, second) is alpha
    uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
    uint16_t depth = 8;
    uint16_t compression = COMPRESSION_ADOBE_DEFLATE;
    uint16_t predictor = PREDICTOR_NONE;
    uint32_t rows_per_strip = 0;  // 0: one strip for the whole picture
    uint32_t tile = 0;            // square tiles of this side instead of strips
    bool separate = false;        // each sample in a plane of its own
    uint16_t orientation = 1;
    uint16_t subsampling = 1;  // YCbCr chroma, the same both ways
};
// Fills the stored bytes of one row (strips) or one tile of a plane, in the
// order they are written, page after page.
using TiffFill = std::function<void(std::span<uint8_t> bytes, uint16_t plane)>;
std::string make_layout_tiff(Size size, const TiffLayout& layout, const TiffFill& fill, int pages = 1);
// Every stored byte pseudo-random: whatever the layout, each pixel differs.
std::string make_noise_tiff(Size size, const TiffLayout& layout);
// libtiff's own whole-picture reader (TIFFReadRGBAImage), rows top first,
// alpha dropped; nothing when it cannot read the picture.
std::optional<Picture> whole_picture_reference(const std::string& tiff);
// The value of a tag in the first directory (0 without it), and the file
// with that entry rewritten in place as a single LONG.
uint32_t tiff_entry(const std::string& tiff, uint16_t tag);
std::string with_tiff_entry(std::string tiff, uint16_t tag, uint32_t value);

// A JPEG decoded at full size; nothing when it does not decode.
std::optional<Picture> decode_jpeg(const std::string& bytes);
inline std::optional<Picture> decode_jpeg(const std::vector<uint8_t>& bytes) {
    return decode_jpeg(std::string(bytes.begin(), bytes.end()));
}
// preview_jpeg and thumbnail_jpeg on a path, decoded.
std::optional<Picture> preview_of(const fs::path& path, int64_t orientation = 1);
std::optional<Picture> thumbnail_of(const fs::path& path, uint32_t size);

// Runs f; the growth of the peak resident memory meanwhile, in MiB, or
// nothing where the kernel does not let the peak be reset.
std::optional<long> peak_growth_mib(const std::function<void()>& f);
// Runs a program that must succeed.
void run_ok(const std::string& program, const std::vector<std::string>& args);

}  // namespace orv::test
