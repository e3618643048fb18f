#include "png_decode.hpp"

#include <png.h>

#include <array>
#include <csetjmp>
#include <memory>
#include <vector>

#include "colour.hpp"
#include "rows.hpp"

namespace orv::preview {

namespace {

// Chunks that cannot change the pixels; skipping them spares the work of
// inflating compressed text a hostile file may have inflated.
constexpr std::array<png_byte, 4 * 8> kIgnoredChunks = {
    'i', 'T', 'X', 't', 't', 'E', 'X', 't', 'z', 'T', 'X', 't', 'e', 'X', 'I', 'f',
    's', 'P', 'L', 'T', 'h', 'I', 'S', 'T', 't', 'I', 'M', 'E', 'p', 'H', 'Y', 's',
};

// Everything the decode keeps lives here, outside the frame libpng jumps
// back to, so that no object with a destructor is skipped by the jump.
struct PngJob {
    const Source* source = nullptr;
    uint64_t offset = 0;
    RowTarget* target = nullptr;
    uint64_t held_limit = 0;
    std::vector<uint8_t> row;
    Buffer held;  // interlaced pictures only: the rows wanted, whole
    std::vector<png_bytep> rows;
    ColourSource colour;
};

// The PNG book's order: an embedded profile, else an sRGB chunk (nothing to
// do), else the primaries and the gamma together.
void read_colour(png_structp png, png_infop info, ColourSource& colour) {
    png_charp name = nullptr;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    int compression = 0, intent = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile && length > 0) {
        colour.icc.assign(profile, profile + length);
        return;
    }
    double gamma = 0;
    Chromaticities c{};
    if (png_get_sRGB(png, info, &intent) || !png_get_gAMA(png, info, &gamma) || gamma <= 0 ||
        !png_get_cHRM(png, info, &c.white_x, &c.white_y, &c.red_x, &c.red_y, &c.green_x, &c.green_y, &c.blue_x,
                      &c.blue_y)) {
        return;
    }
    c.gamma = 1 / gamma;
    colour.icc = profile_from_chromaticities(c);
}

void read_bytes(png_structp png, png_bytep out, size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    // Short at the end, or where the file was cut after it was opened.
    if (job->source->read(job->offset, out, length) != length) png_error(png, "truncated");
    job->offset += length;
}

[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void on_warning(png_structp, png_const_charp) {}

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// No automatic object in this frame has a destructor; libpng may longjmp
// back here from any call below.
bool run(png_structp png, png_infop info, PngJob& job) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &job, read_bytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks.data(),
                                static_cast<int>(kIgnoredChunks.size() / 4));
    png_read_info(png, info);
    read_colour(png, info, job.colour);
    const uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (!within_pixel_limit(width, height)) return false;

    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_scale_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 3 ||
        png_get_rowbytes(png, info) != size_t{width} * 3) {
        return false;
    }
    RowTarget& target = *job.target;
    if (!target.begin({width, height})) return false;
    const size_t row_bytes = size_t{width} * 3;
    const size_t left = size_t{target.left()} * 3;
    if (passes == 1) {
        job.row.resize(row_bytes);
        for (uint32_t y = 0; y < target.end_row(); ++y) {
            png_read_row(png, job.row.data(), nullptr);
            if (y >= target.first_row()) target.push_row(job.row.data() + left);
        }
        return true;
    }
    // Interlaced rows only become whole after the last pass, so the rows
    // wanted are held whole; every pass still runs over every row, the
    // others into one row that is thrown away.
    const uint32_t held_rows = target.end_row() - target.first_row();
    if (uint64_t{held_rows} * row_bytes > job.held_limit) return false;
    job.held = allocate_buffer(held_rows * row_bytes);
    job.row.resize(row_bytes);
    job.rows.assign(height, job.row.data());
    for (uint32_t y = 0; y < held_rows; ++y) job.rows[target.first_row() + y] = job.held.get() + y * row_bytes;
    png_read_image(png, job.rows.data());
    for (uint32_t y = 0; y < held_rows; ++y) target.push_row(job.held.get() + y * row_bytes + left);
    return true;
}

// Decodes into `target`, its colours turned into sRGB.
std::optional<Picture> decode(const Source& source, RowTarget& target, const Budget& budget) {
    PngRead read;
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!read.png) return std::nullopt;
    read.info = png_create_info_struct(read.png);
    if (!read.info) return std::nullopt;
    PngJob job;
    job.source = &source;
    job.target = &target;
    job.held_limit = budget.held_bytes;
    if (!run(read.png, read.info, job) || !target.done()) return std::nullopt;
    Picture out = target.take();
    to_srgb(out, job.colour);
    return out;
}

}  // namespace

std::optional<Picture> decode_png(const Source& source, Fit fit, const Budget& budget) {
    RowTarget target = RowTarget::fitted(fit);
    return decode(source, target, budget);
}

std::optional<RegionPicture> decode_png_region(const Source& source, const RegionOf& region_of, const Budget& budget) {
    RowTarget target = RowTarget::region(region_of);
    auto picture = decode(source, target, budget);
    if (!picture) return std::nullopt;
    return RegionPicture{target.stored(), std::move(*picture)};
}

}  // namespace orv::preview
