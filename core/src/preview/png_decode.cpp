#include "png_decode.hpp"

#include <png.h>

#include <array>
#include <csetjmp>
#include <memory>
#include <vector>

#include "resample.hpp"

namespace orv::preview {

namespace {

// Chunks that cannot change the pixels; skipping them spares the work of
// inflating compressed text and profiles a hostile file may have inflated.
constexpr std::array<png_byte, 4 * 9> kIgnoredChunks = {
    'i', 'C', 'C', 'P', 'i', 'T', 'X', 't', 't', 'E', 'X', 't', 'z', 'T', 'X', 't', 'e',
    'X', 'I', 'f', 's', 'P', 'L', 'T', 'h', 'I', 'S', 'T', 't', 'I', 'M', 'E', 'p', 'H', 'Y', 's',
};

// Everything the decode keeps lives here, outside the frame libpng jumps
// back to, so that no object with a destructor is skipped by the jump.
struct PngJob {
    std::span<const uint8_t> bytes;
    size_t offset = 0;
    Fit fit{0};
    uint64_t held_limit = 0;
    Picture out;
    std::optional<BoxResampler> resampler;
    std::vector<uint8_t> row;
    Buffer whole;  // interlaced pictures only
    std::vector<png_bytep> rows;
};

void read_bytes(png_structp png, png_bytep out, size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (length > job->bytes.size() - job->offset) png_error(png, "truncated");
    std::copy_n(job->bytes.data() + job->offset, length, out);
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

std::optional<Picture> decode_png(std::span<const uint8_t> bytes, Fit fit, const Budget& budget) {
    PngRead read;
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!read.png) return std::nullopt;
    read.info = png_create_info_struct(read.png);
    if (!read.info) return std::nullopt;
    PngJob job;
    job.bytes = bytes;
    job.fit = fit;
    job.held_limit = budget.held_bytes;
    if (!run(read.png, read.info, job) || !job.resampler || !job.resampler->done()) return std::nullopt;
    return std::move(job.out);
}

}  // namespace orv::preview
