#include "png_decode.hpp"

#include <png.h>

#include <array>
#include <csetjmp>
#include <memory>
#include <vector>

#include "colour.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

// Chunks that cannot change the pixels; skipping them spares the work of
// inflating compressed text a hostile file may have inflated.
constexpr std::array<png_byte, 4 * 8> kIgnoredChunks = {
    'i', 'T', 'X', 't', 't', 'E', 'X', 't', 'z', 'T', 'X', 't', 'e',
    'X', 'I', 'f', 's', 'P', 'L', 'T', 'h', 'I', 'S', 'T', 't', 'I', 'M', 'E', 'p', 'H', 'Y', 's',
};

// Everything the decode keeps lives here, outside the frame libpng jumps
// back to, so that no object with a destructor is skipped by the jump.
struct PngJob {
    const Source* source = nullptr;
    uint64_t offset = 0;
    Fit fit{0};
    uint64_t held_limit = 0;
    Picture out;
    std::optional<BoxResampler> resampler;
    std::vector<uint8_t> row;
    Buffer whole;  // interlaced pictures only
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

[[noreturn]] void on_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

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
    // Interlaced rows only become whole after the last pass, so the whole
    // frame is held.
    if (passes > 1 && uint64_t{width} * height * 3 > job.held_limit) return false;

    const Size source{width, height}, target = fit_size(source, job.fit);
    job.out = make_picture(target);
    job.resampler.emplace(source, target, job.out.rgb.get(), 0, target.height);
    if (passes == 1) {
        job.row.resize(size_t{width} * 3);
        for (uint32_t y = 0; y < height; ++y) {
            png_read_row(png, job.row.data(), nullptr);
            job.resampler->push_row(job.row.data());
        }
    } else {
        job.whole = allocate_buffer(size_t{width} * height * 3);
        job.rows.resize(height);
        for (uint32_t y = 0; y < height; ++y) job.rows[y] = job.whole.get() + size_t{y} * width * 3;
        png_read_image(png, job.rows.data());
        for (uint32_t y = 0; y < height; ++y) job.resampler->push_row(job.rows[y]);
    }
    return true;
}

}  // namespace

std::optional<Picture> decode_png(const Source& source, Fit fit, const Budget& budget) {
    PngRead read;
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!read.png) return std::nullopt;
    read.info = png_create_info_struct(read.png);
    if (!read.info) return std::nullopt;
    PngJob job;
    job.source = &source;
    job.fit = fit;
    job.held_limit = budget.held_bytes;
    if (!run(read.png, read.info, job) || !job.resampler || !job.resampler->done()) return std::nullopt;
    to_srgb(job.out, job.colour);
    return std::move(job.out);
}

}  // namespace orv::preview
