// JPEG pictures, decoded with libjpeg-turbo straight to about the fitted size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "picture.hpp"

namespace orv::preview {

// Decodes a baseline or progressive JPEG (colour, grey, CMYK or YCCK) and
// fits it as `fit` says. Nothing for a truncated stream, an error, a warning
// that means the pixel data is damaged, a picture over the size limits, or
// one whose coefficients the budget cannot hold. The DCT scale is the
// smallest that keeps the fitted size, or a smaller one when that would
// not fit the budget's held bytes.
std::optional<Picture> decode_jpeg(std::span<const uint8_t> bytes, Fit fit, const Budget& budget);

}  // namespace orv::preview
