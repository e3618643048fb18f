#include "decode.hpp"

#include <new>

#include "jpeg_decode.hpp"
#include "png_decode.hpp"
#include "sniff.hpp"
#include "tiff_decode.hpp"

namespace orv::preview {

std::optional<Picture> decode_fitted(std::span<const uint8_t> bytes, Fit fit, const Budget& budget) {
    if (fit.bound == 0) return std::nullopt;
    try {
        switch (sniff(bytes)) {
            case Format::Jpeg: return decode_jpeg(bytes, fit, budget);
            case Format::Png: return decode_png(bytes, fit, budget);
            case Format::Tiff: return decode_tiff(bytes, fit, budget);
            case Format::Unknown: break;
        }
    } catch (const std::bad_alloc&) {
        // A picture within the limits can still be too big for the memory
        // at hand; that is a picture we cannot show, not a fault.
    }
    return std::nullopt;
}

}  // namespace orv::preview
