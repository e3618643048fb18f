#include "tiff_decode.hpp"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "rows.hpp"

namespace orv::preview {

namespace {

// Rows are converted through a 32-bit raster of at most this many bytes;
// a strip or tile taller than that is read in several passes.
constexpr uint64_t kRasterBudget = uint64_t{64} << 20;

struct Input {
    const Source* source;
    uint64_t offset = 0;
};

// Short at the end, or where a file was cut after it was opened: libtiff
// then reports the strip or tile damaged.
tmsize_t read_proc(thandle_t h, void* out, tmsize_t size) {
    auto* in = static_cast<Input*>(h);
    if (size <= 0) return 0;
    const size_t n = in->source->read(in->offset, static_cast<uint8_t*>(out), static_cast<size_t>(size));
    in->offset += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t write_proc(thandle_t, void*, tmsize_t) { return 0; }

toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
    auto* in = static_cast<Input*>(h);
    const uint64_t base = whence == SEEK_CUR ? in->offset : whence == SEEK_END ? in->source->size() : 0;
    if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
    in->offset = base + offset;
    return in->offset;
}

int close_proc(thandle_t) { return 0; }

toff_t size_proc(thandle_t h) { return static_cast<Input*>(h)->source->size(); }

// Strips are read in place from bytes in memory; libtiff only reads
// through a mapping it opened for reading. A file is read, never mapped.
int map_proc(thandle_t h, void** base, toff_t* size) {
    const auto bytes = static_cast<Input*>(h)->source->in_memory();
    if (!bytes) return 0;
    *base = const_cast<uint8_t*>(bytes->data());
    *size = bytes->size();
    return 1;
}

void unmap_proc(thandle_t, void*, toff_t) {}

// Returning non-zero keeps the message away from the process-wide handler.
int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffClose {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// libtiff refuses any single allocation above the budget's held bytes: a
// strip or tile buffer a forged header asks for, or a real strip, tile or set
// of separate planes too big to decode whole (rows read one by one need no
// such buffer).
std::unique_ptr<TIFF, TiffClose> open(Input& input, const Budget& budget) {
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(budget.held_bytes));
    return std::unique_ptr<TIFF, TiffClose>(TIFFClientOpenExt("picture", "r", &input, read_proc, write_proc, seek_proc,
                                                              close_proc, size_proc, map_proc, unmap_proc,
                                                              options.get()));
}

// Colour stored without premultiplication is premultiplied by libtiff's
// converter; calling it premultiplied already keeps the colour as stored,
// which is what dropping alpha means.
void keep_colour_under_alpha(TIFF* tif) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0 || !kinds) return;
    if (kinds[0] != EXTRASAMPLE_UNASSALPHA) return;
    std::vector<uint16_t> changed(kinds, kinds + count);
    changed[0] = EXTRASAMPLE_ASSOCALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, changed.data());
}

struct RgbaImage {
    TIFFRGBAImage img{};
    bool begun = false;
    ~RgbaImage() {
        if (begun) TIFFRGBAImageEnd(&img);
    }
};

// Codecs whose row decoder carries on where the previous row ended, so that
// a strip is decoded once, from its start to its end, however many rows it
// holds. Any other stays with libtiff's strip reader: JBIG has no row
// decoder at all, and JPEG's colour conversion is set up for that reader.
constexpr std::array<uint16_t, 11> kRowCodecs = {
    COMPRESSION_NONE,      COMPRESSION_LZW,      COMPRESSION_ADOBE_DEFLATE, COMPRESSION_DEFLATE,
    COMPRESSION_PACKBITS,  COMPRESSION_CCITTRLE, COMPRESSION_CCITTRLEW,     COMPRESSION_CCITTFAX3,
    COMPRESSION_CCITTFAX4, COMPRESSION_LZMA,     COMPRESSION_ZSTD,
};

// YCbCr's chroma subsampling, horizontal and vertical, as the file states
// it; 1 and 1 for every other kind of picture. libtiff's converter has made
// JPEG-coded YCbCr into RGB already.
std::pair<uint16_t, uint16_t> subsampling(TIFF* tif, const TIFFRGBAImage& img) {
    uint16_t horizontal = 1, vertical = 1;
    if (img.photometric == PHOTOMETRIC_YCBCR) {
        TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &horizontal, &vertical);
    }
    return {horizontal, vertical};
}

// Whether the picture can be read one stored row at a time: strips of
// interleaved samples whose rows are whole pixels (subsampled YCbCr packs
// several rows into one block).
bool readable_by_rows(TIFF* tif, const TIFFRGBAImage& img) {
    if (TIFFIsTiled(tif) || !img.isContig) return false;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (std::ranges::find(kRowCodecs, compression) == kRowCodecs.end()) return false;
    return subsampling(tif, img) == std::pair<uint16_t, uint16_t>{1, 1};
}

// Hands rows of the converter's 32-bit pixels to the target as RGB. Each
// raster row is `width` pixels, `skip` of them left of the target's
// columns.
class RowFeeder {
public:
    RowFeeder(uint32_t width, uint32_t skip, RowTarget& target)
        : width_(width), skip_(skip), rgb_(size_t{width} * 3), target_(target) {}

    void push(const uint32_t* raster, uint32_t rows) {
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* px = raster + size_t{r} * width_;
            uint8_t* out = rgb_.data();
            for (uint32_t x = 0; x < width_; ++x, out += 3) {
                out[0] = static_cast<uint8_t>(TIFFGetR(px[x]));
                out[1] = static_cast<uint8_t>(TIFFGetG(px[x]));
                out[2] = static_cast<uint8_t>(TIFFGetB(px[x]));
            }
            target_.push_row(rgb_.data() + size_t{skip_} * 3);
        }
    }

private:
    uint32_t width_;
    uint32_t skip_;  // pixels of each row left of the target's columns
    std::vector<uint8_t> rgb_;
    RowTarget& target_;
};

// Reads the stored rows in order and converts each with the converter's own
// routine, so the pixels are those the whole-picture reader gives while
// only one row of samples and one of pixels are held. Reading starts at the
// strip that holds the first row wanted (codecs cannot start inside one)
// and stops after the last.
bool feed_by_rows(TIFF* tif, TIFFRGBAImage& img, RowTarget& target) {
    const tmsize_t row_bytes = TIFFScanlineSize(tif);
    if (row_bytes <= 0) return false;
    uint32_t rows_per_strip = target.stored().height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    rows_per_strip = std::clamp<uint32_t>(rows_per_strip, 1, target.stored().height);
    const uint32_t width = target.stored().width;
    std::vector<uint8_t> samples(static_cast<size_t>(row_bytes));
    std::vector<uint32_t> raster(width);
    RowFeeder feeder(width, target.left(), target);
    for (uint32_t y = target.first_row() / rows_per_strip * rows_per_strip; y < target.end_row(); ++y) {
        if (TIFFReadScanline(tif, samples.data(), y, 0) < 0) return false;
        if (y < target.first_row()) continue;
        img.put.contig(&img, raster.data(), 0, y, width, 1, 0, 0, samples.data());
        feeder.push(raster.data(), 1);
    }
    return true;
}

// Tiles, separate planes and the codecs above that cannot go row by row:
// libtiff's reader, one row of strips or tiles at a time so that each is
// decoded once, through a raster of at most kRasterBudget bytes, reading
// only the strips and tiles under the target's rows (and columns, where
// libtiff can start inside a row). It holds one whole strip or tile (all
// planes of it), which the budget bounds.
bool feed_by_units(TIFF* tif, TIFFRGBAImage& img, RowTarget& target) {
    const Size stored = target.stored();
    uint32_t unit = stored.height;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    }
    unit = std::clamp<uint32_t>(unit, 1, stored.height);
    const auto [horizontal, stated_vertical] = subsampling(tif, img);
    const uint16_t vertical = std::max<uint16_t>(stated_vertical, 1);
    // libtiff's reader finds a column offset as a count of bytes, one per
    // sample: right for whole 8-bit pixels only. Other pictures (separate
    // planes, other depths, subsampled YCbCr) are read the whole width and
    // cut here.
    const bool own_columns = img.isContig && img.bitspersample == 8 && horizontal == 1 && vertical == 1;
    const uint32_t width = own_columns ? target.width() : stored.width;
    // Bands of whole strips or tiles, so that each is decoded once; a strip
    // too tall for the raster in bands of whole blocks of subsampled rows.
    const uint64_t budget_rows = std::max<uint64_t>(1, kRasterBudget / (uint64_t{width} * 4));
    uint32_t band = static_cast<uint32_t>(std::min<uint64_t>(unit, budget_rows));
    if (band < unit) band = std::max<uint32_t>(vertical, band / vertical * vertical);
    const uint32_t align = band == unit ? unit : vertical;
    auto raster = std::make_unique_for_overwrite<uint32_t[]>(size_t{width} * band);
    RowFeeder feeder(width, own_columns ? 0 : target.left(), target);
    img.col_offset = own_columns ? static_cast<int>(target.left()) : 0;
    for (uint32_t y = target.first_row() / align * align; y < target.end_row(); y += band) {
        const uint32_t rows = std::min(band, stored.height - y);
        img.row_offset = static_cast<int>(y);
        if (!TIFFRGBAImageGet(&img, raster.get(), width, rows)) return false;
        // The band's rows above the first wanted are not the target's.
        const uint32_t above = target.first_row() > y ? target.first_row() - y : 0;
        feeder.push(raster.get() + size_t{above} * width, std::min(rows, target.end_row() - y) - above);
    }
    return true;
}

// The ICC profile tag's bytes; empty when there is none.
ColourSource own_colour(TIFF* tif) {
    uint32_t length = 0;
    const uint8_t* profile = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &profile) || !profile || length == 0) return {};
    return {{profile, profile + length}, false};
}

// Decodes the first image into `target`, its colours turned into sRGB.
std::optional<Picture> decode(const Source& bytes, RowTarget& target, const Budget& budget,
                              const ColourSource& unmarked) {
    Input input{&bytes};
    const auto tif = open(input, budget);
    if (!tif) return std::nullopt;
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) || !within_pixel_limit(width, height) ||
        !target.begin({width, height})) {
        return std::nullopt;
    }
    keep_colour_under_alpha(tif.get());

    RgbaImage rgba;
    char message[1024] = "";
    if (!TIFFRGBAImageBegin(&rgba.img, tif.get(), 1, message)) return std::nullopt;
    rgba.begun = true;
    // Rows as stored: the caller turns the picture by the orientation it
    // was given, so the file's own tag must not flip it first.
    rgba.img.req_orientation = rgba.img.orientation;

    const bool read = readable_by_rows(tif.get(), rgba.img) ? feed_by_rows(tif.get(), rgba.img, target)
                                                            : feed_by_units(tif.get(), rgba.img, target);
    if (!read || !target.done()) return std::nullopt;
    Picture out = target.take();
    const ColourSource colour = own_colour(tif.get());
    to_srgb(out, colour.empty() ? unmarked : colour);
    return out;
}

}  // namespace

std::optional<Picture> decode_tiff(const Source& bytes, Fit fit, const Budget& budget, const ColourSource& unmarked) {
    RowTarget target = RowTarget::fitted(fit);
    return decode(bytes, target, budget, unmarked);
}

std::optional<RegionPicture> decode_tiff_region(const Source& bytes, const RegionOf& region_of, const Budget& budget,
                                                const ColourSource& unmarked) {
    RowTarget target = RowTarget::region(region_of);
    auto picture = decode(bytes, target, budget, unmarked);
    if (!picture) return std::nullopt;
    return RegionPicture{target.stored(), std::move(*picture)};
}

}  // namespace orv::preview
