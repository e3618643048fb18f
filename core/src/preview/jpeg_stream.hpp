// The marker structure of a JPEG stream, read before any pixel is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "picture.hpp"

namespace orv::preview {

struct JpegStream {
    Size size;  // from the frame header
    // Memory the decoder holds for the whole image when it cannot finish the
    // picture in one pass (progressive or component-by-component scans);
    // zero when it decodes row by row.
    uint64_t coefficient_bytes = 0;
};

// Walks the segments from SOI through the scans to EOI. Nothing when the
// bytes end first (a truncated file) or the segments do not fit together.
// Stray bytes between segments are skipped the way the decoder skips them.
std::optional<JpegStream> scan_jpeg_stream(std::span<const uint8_t> bytes);

}  // namespace orv::preview
