// JPEG pictures, decoded with libjpeg-turbo straight to about the fitted
// size, or a region of them at full size.
#pragma once

#include <optional>

#include "colour.hpp"
#include "picture.hpp"
#include "region.hpp"
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

// One rectangle of a JPEG at full size, its colours as decode_jpeg turns
// them: `region_of` gives it from the picture's stored size, once the
// header is read, and it must lie inside. Only the rows down to its last
// and the columns around it are decoded (the stream behind them is not
// read), so a view of a few megapixels of a 45 MP picture holds only those.
// Refused as decode_jpeg refuses, and for a rectangle that does not fit.
std::optional<RegionPicture> decode_jpeg_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                                const ColourSource& unmarked = {});

// The size a JPEG's header states, read without decoding; nothing when the
// header does not read or the picture is one decode_jpeg refuses unseen.
std::optional<Size> jpeg_size(const Source& source);

}  // namespace orv::preview
