// TIFF pictures, decoded with libtiff band by band into the resampler.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "picture.hpp"

namespace orv::preview {

// Decodes the first image of a TIFF (strips or tiles, 1 to 16 bits a sample,
// grey, palette, RGB, YCbCr, CMYK; alpha dropped) as stored, ignoring its
// orientation tag, and fits it to `bound`. Nothing on any error or above the
// pixel limit. libtiff's messages stay on the handle; nothing reaches stderr.
std::optional<Picture> decode_tiff(std::span<const uint8_t> bytes, uint32_t bound);

}  // namespace orv::preview
