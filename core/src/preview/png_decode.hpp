// PNG pictures, decoded with libpng row by row into the resampler.
#pragma once

#include <cstdint>
#include <optional>
#include "picture.hpp"
#include "source.hpp"

namespace orv::preview {

// Decodes any PNG colour type and depth (palette and grey expanded, 16-bit
// scaled to 8, alpha dropped) and fits it as `fit` says. Nothing on any error,
// including a bad checksum or missing data, or above the pixel limit; nothing
// either for an interlaced picture whose whole frame is above the budget's held bytes.
// Colours are turned into sRGB by its iCCP profile, else (no sRGB chunk) by
// its gAMA and cHRM together.
std::optional<Picture> decode_png(const Source& source, Fit fit, const Budget& budget);

}  // namespace orv::preview
