// JPEG pictures, decoded with libjpeg-turbo straight to about the fitted size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "picture.hpp"

namespace orv::preview {

// Decodes a baseline or progressive JPEG (colour, grey, CMYK or YCCK) and
// fits it as `fit` says. Nothing for a truncated stream, an error, a warning
// that means the pixel data is damaged, or a picture over the size limits.
std::optional<Picture> decode_jpeg(std::span<const uint8_t> bytes, Fit fit);

}  // namespace orv::preview
