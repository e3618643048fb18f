#include "decode.hpp"

#include <array>
#include <limits>
#include <new>

#include "heif_decode.hpp"
#include "jpeg_decode.hpp"
#include "jxl_decode.hpp"
#include "png_decode.hpp"
#include "sniff.hpp"
#include "tiff_decode.hpp"
#include "webp_decode.hpp"

namespace orv::preview {

namespace {

// A fit that keeps every picture at its own size.
constexpr Fit kFullSize{std::numeric_limits<uint32_t>::max(), /*enlarge=*/false};

Format format_of(const Source& source) {
    std::array<uint8_t, 32> lead{};
    const size_t lead_length = source.read(0, lead.data(), lead.size());
    return sniff({lead.data(), lead_length});
}

}  // namespace

std::optional<Picture> decode_fitted(const Source& source, Fit fit, const Budget& budget,
                                     const ColourSource& unmarked) {
    if (fit.bound == 0) return std::nullopt;
    try {
        switch (format_of(source)) {
            case Format::Jpeg: return decode_jpeg(source, fit, budget, unmarked);
            case Format::Png: return decode_png(source, fit, budget);
            case Format::Tiff: return decode_tiff(source, fit, budget, unmarked);
            case Format::Heif: return decode_heif(source, fit, budget, unmarked);
            case Format::Webp: return decode_webp(source, fit, budget, unmarked);
            case Format::Jxl: return decode_jxl(source, fit, budget, unmarked);
            case Format::Unknown: break;
        }
    } catch (const std::bad_alloc&) {
        // A picture within the limits can still be too big for the memory
        // at hand; that is a picture we cannot show, not a fault.
    }
    return std::nullopt;
}

std::optional<RegionPicture> decode_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                           const ColourSource& unmarked) {
    try {
        switch (format_of(source)) {
            case Format::Jpeg: return decode_jpeg_region(source, region_of, budget, unmarked);
            case Format::Png: return decode_png_region(source, region_of, budget);
            case Format::Tiff: return decode_tiff_region(source, region_of, budget, unmarked);
            case Format::Webp: return decode_webp_region(source, region_of, budget, unmarked);
            case Format::Jxl: return decode_jxl_region(source, region_of, budget, unmarked);
            case Format::Heif: {
                // libheif decodes a picture whole.
                auto whole = decode_heif(source, kFullSize, budget, unmarked);
                if (!whole) return std::nullopt;
                const Rect r = region_of(whole->size);
                if (!lies_inside(r, whole->size)) return std::nullopt;
                return RegionPicture{whole->size, cut(*whole, r)};
            }
            case Format::Unknown: break;
        }
    } catch (const std::bad_alloc&) {
        // As for decode_fitted: a picture we cannot show, not a fault.
    }
    return std::nullopt;
}

std::optional<int64_t> own_turn(const Source& source) {
    try {
        switch (format_of(source)) {
            case Format::Heif: return heif_turns_picture(source) ? std::optional<int64_t>(1) : std::nullopt;
            case Format::Jxl: {
                const int64_t orientation = jxl_orientation(source);
                return orientation == 1 ? std::nullopt : std::optional<int64_t>(orientation);
            }
            default: return std::nullopt;
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace orv::preview
