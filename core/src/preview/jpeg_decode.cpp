#include "jpeg_decode.hpp"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <jerror.h>
#include <jpeglib.h>

#include <array>
#include <csetjmp>
#include <functional>
#include <memory>
#include <utility>

#include "exif_colour.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

// Warnings that leave every pixel intact: stray bytes between segments, odd
// header fields. Any other first warning (a bad code, a resync) means some
// pixels were made up, and the picture is dropped at once. The first
// warning decides: pictures whose first complaint is harmless have always
// been shown whole, and still are. A stream that ends too soon is refused
// whatever came before.
constexpr std::array<int, 5> kHarmlessWarnings = {
    JWRN_EXTRANEOUS_DATA, JWRN_JFIF_MAJOR, JWRN_ADOBE_XFORM, JWRN_NOT_SEQUENTIAL, JWRN_BOGUS_ICC,
};

// A progressive stream of thousands of tiny scans costs minutes to decode.
constexpr int kScanLimit = 500;

struct ErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool warned = false;
};

[[noreturn]] void on_error(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1); }

void on_message(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    auto* err = reinterpret_cast<ErrorJump*>(cinfo->err);
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) on_error(cinfo);
    if (std::exchange(err->warned, true)) return;
    if (std::ranges::find(kHarmlessWarnings, cinfo->err->msg_code) == kHarmlessWarnings.end()) on_error(cinfo);
}

void on_progress(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kScanLimit) on_error(cinfo);
}

// A file read in blocks as the decoder asks; a read that comes back empty
// (the end, or a file cut short since it was opened) is a premature end,
// which ends the decode.
struct FileInput {
    jpeg_source_mgr pub;
    const Source* source;
    uint64_t offset;
    std::array<JOCTET, 64 * 1024> block;
};

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

boolean fill_input(j_decompress_ptr cinfo) {
    auto* in = reinterpret_cast<FileInput*>(cinfo->src);
    const size_t n = in->source->read(in->offset, in->block.data(), in->block.size());
    if (n == 0) WARNMS(cinfo, JWRN_JPEG_EOF);  // does not come back
    in->offset += n;
    in->pub.next_input_byte = in->block.data();
    in->pub.bytes_in_buffer = n;
    return TRUE;
}

void skip_input(j_decompress_ptr cinfo, long count) {
    auto* in = reinterpret_cast<FileInput*>(cinfo->src);
    if (count <= 0) return;
    const auto n = static_cast<size_t>(count);
    if (n <= in->pub.bytes_in_buffer) {
        in->pub.next_input_byte += n;
        in->pub.bytes_in_buffer -= n;
        return;
    }
    in->offset += n - in->pub.bytes_in_buffer;
    in->pub.bytes_in_buffer = 0;
}

// The smallest DCT scale that keeps both sides at or above the target; the
// box resampler takes it the rest of the way. Only the scales libjpeg-turbo
// has vector code for (1/8, 1/4, 1/2, 1): the others run plain C and decode
// more slowly than a larger vector-decoded picture costs to resample. When
// that scale's pixels would be more than `held` bytes, the largest smaller
// scale within them, enlarged the rest of the way; nothing when even an
// eighth is too much.
std::optional<unsigned> scale_denominator(j_decompress_ptr cinfo, Size target, uint64_t held) {
    std::optional<unsigned> within;
    for (const unsigned denominator : {8u, 4u, 2u, 1u}) {
        cinfo->scale_num = 1;
        cinfo->scale_denom = denominator;
        jpeg_calc_output_dimensions(cinfo);
        const Size s{cinfo->output_width, cinfo->output_height};
        if (uint64_t{s.width} * s.height * cinfo->out_color_components > held) break;
        within = denominator;
        if (s.width >= target.width && s.height >= target.height) break;
    }
    return within;
}

// The coefficients libjpeg keeps for the whole picture when it cannot
// finish it in one pass: each component's 8x8 blocks, padded to whole
// sampling units, at 128 bytes a block.
uint64_t coefficient_bytes(j_decompress_ptr cinfo) {
    if (!jpeg_has_multiple_scans(cinfo)) return 0;
    uint64_t bytes = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        const uint64_t h = c.h_samp_factor, v = c.v_samp_factor;
        bytes += (c.width_in_blocks + h - 1) / h * h * ((c.height_in_blocks + v - 1) / v * v) * 128;
    }
    return bytes;
}

struct FreeIcc {
    void operator()(JOCTET* p) const { std::free(p); }
};

// Everything the decode keeps lives here, outside the frame the error
// handler jumps back to, so that no object with a destructor is skipped.
struct JpegJob {
    Fit fit{0};
    // Set for a region at full size instead of a fitted picture: the
    // stored rectangle wanted, given the stored size.
    const RegionOf* region_of = nullptr;
    bool header_only = false;
    Size full;
    Rect region;      // the stored rectangle wanted
    Rect decoded_at;  // where the decoded pixels lie in the stored picture
    Budget budget;
    Size target;
    Size decoded;
    bool cmyk = false;
    bool inverted = false;
    Buffer buffer;
    std::unique_ptr<JOCTET, FreeIcc> icc;
    unsigned icc_length = 0;
    bool adobe_rgb = false;
    std::unique_ptr<FileInput> file;
};

// The stored rectangle wanted, at scale 1, and one iMCU around it where the
// picture goes on: at the edge of a crop libjpeg's fancy upsampling lacks
// the neighbouring chroma, and those pixels would differ from a whole
// decode. Columns left of the crop are not decoded, rows above it are
// skipped, and decoding stops after the last row needed.
bool decode_region(jpeg_decompress_struct& cinfo, JpegJob& job) {
    job.region = (*job.region_of)(job.full);
    const Rect& r = job.region;
    if (!lies_inside(r, job.full)) return false;
    const uint32_t margin_x = uint32_t(cinfo.max_h_samp_factor) * DCTSIZE;
    const uint32_t margin_y = uint32_t(cinfo.max_v_samp_factor) * DCTSIZE;
    const uint32_t top = r.y - std::min(r.y, margin_y);
    const uint32_t bottom = std::min(job.full.height, r.y + r.height + margin_y);
    JDIMENSION left = r.x - std::min(r.x, margin_x);
    JDIMENSION width = std::min(job.full.width, r.x + r.width + margin_x) - left;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    jpeg_start_decompress(&cinfo);
    jpeg_crop_scanline(&cinfo, &left, &width);  // moves left to an iMCU boundary
    job.decoded_at = {left, top, width, bottom - top};
    job.decoded = {width, bottom - top};
    const size_t row_bytes = size_t{width} * cinfo.output_components;
    job.buffer = allocate_buffer(row_bytes * job.decoded.height);
    if (top > 0 && jpeg_skip_scanlines(&cinfo, top) != top) return false;
    for (uint32_t y = 0; y < job.decoded.height; ++y) {
        JSAMPROW row = job.buffer.get() + row_bytes * y;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return false;
    }
    jpeg_abort_decompress(&cinfo);
    return true;
}

// No automatic object in this frame has a destructor; the error handler
// may jump back here from any libjpeg call below.
bool run(jpeg_decompress_struct& cinfo, ErrorJump& err, const Source& source, JpegJob& job) {
    if (setjmp(err.jump)) return false;
    jpeg_create_decompress(&cinfo);
    if (const auto bytes = source.in_memory()) {
        jpeg_mem_src(&cinfo, bytes->data(), bytes->size());
    } else {
        job.file = std::make_unique<FileInput>();
        job.file->pub = {nullptr, 0, init_source, fill_input, skip_input, jpeg_resync_to_restart, term_source};
        job.file->source = &source;
        job.file->offset = 0;
        cinfo.src = &job.file->pub;
    }
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);  // EXIF
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
    jpeg_read_header(&cinfo, TRUE);
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_RGB:
        case JCS_YCbCr: break;
        case JCS_CMYK:
        case JCS_YCCK: job.cmyk = true; break;
        default: return false;
    }
    if (!within_pixel_limit(cinfo.image_width, cinfo.image_height) ||
        coefficient_bytes(&cinfo) > job.budget.coefficient_bytes) {
        return false;
    }
    JOCTET* icc = nullptr;
    if (jpeg_read_icc_profile(&cinfo, &icc, &job.icc_length)) job.icc.reset(icc);
    if (!job.icc) {
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
            if (m->marker == JPEG_APP0 + 1 && exif_marks_adobe_rgb({m->data, m->data_length})) job.adobe_rgb = true;
        }
    }

    job.full = {cinfo.image_width, cinfo.image_height};
    if (job.header_only) return true;

    job.inverted = cinfo.saw_Adobe_marker;
    cinfo.out_color_space = job.cmyk ? JCS_CMYK : JCS_EXT_RGB;
    if (job.region_of) return decode_region(cinfo, job);
    job.target = fit_size({cinfo.image_width, cinfo.image_height}, job.fit);
    const auto denominator = scale_denominator(&cinfo, job.target, job.budget.held_bytes);
    if (!denominator) return false;
    cinfo.scale_num = 1;
    cinfo.scale_denom = *denominator;
    jpeg_start_decompress(&cinfo);
    job.decoded = {cinfo.output_width, cinfo.output_height};
    const size_t row_bytes = size_t{job.decoded.width} * cinfo.output_components;
    job.buffer = allocate_buffer(row_bytes * job.decoded.height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = job.buffer.get() + row_bytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

// Runs the job over the source; false on any failure.
bool decode(const Source& source, JpegJob& job) {
    jpeg_decompress_struct cinfo{};
    ErrorJump err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = on_error;
    err.pub.emit_message = on_message;
    jpeg_progress_mgr progress{on_progress, 0, 0, 0, 0};
    cinfo.progress = &progress;
    bool decoded = false;
    try {
        decoded = run(cinfo, err, source, job);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    jpeg_destroy_decompress(&cinfo);
    return decoded;
}

// CMYK pixels into sRGB in place, as RGB from then on.
void cmyk_into_srgb(JpegJob& job) {
    const std::span<const uint8_t> icc(job.icc.get(), job.icc ? job.icc_length : 0);
    cmyk_to_srgb(job.buffer.get(), size_t{job.decoded.width} * job.decoded.height, job.inverted, icc);
}

// An RGB picture into sRGB by its own marks, else by `unmarked`.
void rgb_into_srgb(Picture& picture, const JpegJob& job, const ColourSource& unmarked) {
    ColourSource colour{{job.icc.get(), job.icc.get() + (job.icc ? job.icc_length : 0)}, job.adobe_rgb};
    to_srgb(picture, colour.empty() ? unmarked : colour);
}

}  // namespace

std::optional<Picture> decode_jpeg(const Source& source, Fit fit, const Budget& budget, const ColourSource& unmarked) {
    JpegJob job;
    job.fit = fit;
    job.budget = budget;
    if (!decode(source, job)) return std::nullopt;
    if (job.cmyk) cmyk_into_srgb(job);
    Picture picture{job.decoded, std::move(job.buffer)};
    if (picture.size != job.target) picture = resample(picture, job.target);
    if (!job.cmyk) rgb_into_srgb(picture, job, unmarked);
    return picture;
}

std::optional<RegionPicture> decode_jpeg_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                                const ColourSource& unmarked) {
    JpegJob job;
    job.region_of = &region_of;
    job.budget = budget;
    if (!decode(source, job)) return std::nullopt;
    if (job.cmyk) cmyk_into_srgb(job);
    const Rect& r = job.region;
    Picture picture =
        cut({job.decoded, std::move(job.buffer)}, {r.x - job.decoded_at.x, r.y - job.decoded_at.y, r.width, r.height});
    if (!job.cmyk) rgb_into_srgb(picture, job, unmarked);
    return RegionPicture{job.full, std::move(picture)};
}

std::optional<Size> jpeg_size(const Source& source) {
    JpegJob job;
    job.header_only = true;
    if (!decode(source, job)) return std::nullopt;
    return job.full;
}

}  // namespace orv::preview
