#include "jpeg_decode.hpp"

#include <turbojpeg.h>

#include <array>
#include <memory>
#include <string_view>

#include "jpeg_stream.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

// Warnings that leave every pixel intact: stray bytes between segments, odd
// header fields. Anything else the decoder reports (a premature end, a bad
// code, a resync) means some pixels were made up, and the picture is dropped.
constexpr std::array<std::string_view, 5> kHarmlessWarnings = {
    "extraneous bytes before marker",
    "unknown JFIF revision number",
    "Unknown Adobe color transform code",
    "Invalid SOS parameters for sequential JPEG",
    "bad ICC marker",
};

// The decoder keeps the text of its first warning, or of the error that
// ended the decode, so a harmless text means the decode ran to the end. A
// damaging warning after a harmless one goes unseen here; a cut stream, the
// usual case, is already refused by the marker scan.
bool only_harmless_warnings(tjhandle tj) {
    if (tjGetErrorCode(tj) != TJERR_WARNING) return false;
    const std::string_view text = tjGetErrorStr2(tj);
    for (std::string_view w : kHarmlessWarnings) {
        if (text.find(w) != std::string_view::npos) return true;
    }
    return false;
}

struct TjDestroy {
    void operator()(void* h) const { tjDestroy(h); }
};

// The smallest DCT scale that keeps both sides at or above the target; the
// box resampler takes it the rest of the way. Only the scales libjpeg-turbo
// has vector code for (1/8, 1/4, 1/2, 1): the others run plain C and decode
// more slowly than a larger vector-decoded picture costs to resample. When
// that scale's pixels would be more than `held` bytes, the largest smaller
// scale within them, enlarged the rest of the way; nothing when even an
// eighth is too much.
std::optional<Size> decoded_size(Size full, Size target, uint64_t bytes_per_pixel, uint64_t held) {
    std::optional<Size> within;
    for (const uint32_t denominator : {8u, 4u, 2u, 1u}) {
        const tjscalingfactor f{1, static_cast<int>(denominator)};
        const Size s{static_cast<uint32_t>(TJSCALED(int(full.width), f)),
                     static_cast<uint32_t>(TJSCALED(int(full.height), f))};
        if (uint64_t{s.width} * s.height * bytes_per_pixel > held) break;
        within = s;
        if (s.width >= target.width && s.height >= target.height) break;
    }
    return within;
}

// Adobe applications store CMYK inverted (255 = no ink); every CMYK JPEG met
// in practice follows them. Converts in place, four bytes a pixel to three.
void cmyk_to_rgb(uint8_t* p, size_t pixels) {
    uint8_t* out = p;
    for (size_t i = 0; i < pixels; ++i, p += 4, out += 3) {
        const unsigned k = p[3];
        out[0] = static_cast<uint8_t>((p[0] * k + 127) / 255);
        out[1] = static_cast<uint8_t>((p[1] * k + 127) / 255);
        out[2] = static_cast<uint8_t>((p[2] * k + 127) / 255);
    }
}

}  // namespace

std::optional<Picture> decode_jpeg(std::span<const uint8_t> bytes, Fit fit, const Budget& budget) {
    const auto stream = scan_jpeg_stream(bytes);
    if (!stream || !within_pixel_limit(stream->size.width, stream->size.height) ||
        stream->coefficient_bytes > budget.coefficient_bytes) {
        return std::nullopt;
    }
    const std::unique_ptr<void, TjDestroy> tj(tjInitDecompress());
    if (!tj) return std::nullopt;

    // The header call also fails for sampling layouts it cannot name and for
    // harmless warnings; the sizes it filled in are still right.
    int width = 0, height = 0, subsampling = -1, colorspace = -1;
    tjDecompressHeader3(tj.get(), bytes.data(), bytes.size(), &width, &height, &subsampling, &colorspace);
    if (width <= 0 || height <= 0 || colorspace < 0 || !within_pixel_limit(width, height)) return std::nullopt;

    const Size full{static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    const Size target = fit_size(full, fit);
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    const auto scaled = decoded_size(full, target, cmyk ? 4 : 3, budget.held_bytes);
    if (!scaled) return std::nullopt;
    const Size decoded = *scaled;
    const size_t pixels = size_t{decoded.width} * decoded.height;
    Buffer buffer = allocate_buffer(pixels * (cmyk ? 4 : 3));

    const int rc = tjDecompress2(tj.get(), bytes.data(), bytes.size(), buffer.get(), static_cast<int>(decoded.width),
                                 0, static_cast<int>(decoded.height), cmyk ? TJPF_CMYK : TJPF_RGB,
                                 TJFLAG_LIMITSCANS);
    if (rc != 0 && !only_harmless_warnings(tj.get())) return std::nullopt;
    if (cmyk) cmyk_to_rgb(buffer.get(), pixels);

    Picture picture{decoded, std::move(buffer)};
    if (decoded == target) return picture;
    return resample(picture, target);
}

}  // namespace orv::preview
