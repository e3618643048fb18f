// JPEG pictures, decoded with libjpeg-turbo straight to about the fitted size.
#pragma once

#include <optional>

#include "colour.hpp"
#include "picture.hpp"
#include "source.hpp"

namespace orv::preview {

// Decodes a baseline or progressive JPEG (colour, grey, CMYK or YCCK), fits
// it as `fit` says and turns its colours into sRGB: by its own ICC profile,
// else by its own EXIF mark for Adobe RGB, else by `unmarked` (what the file
// it came from says). Nothing for a truncated stream, an error, a warning
// that means the pixel data is damaged, a picture over the size limits, or
// one whose coefficients the budget cannot hold. The DCT scale is the
// smallest that keeps the fitted size, or a smaller one when that would
// not fit the budget's held bytes.
std::optional<Picture> decode_jpeg(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked = {});

}  // namespace orv::preview
