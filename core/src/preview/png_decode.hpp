// PNG pictures, decoded with libpng row by row into the resampler or a region.
#pragma once

#include <cstdint>
#include <optional>

#include "picture.hpp"
#include "region.hpp"
#include "source.hpp"

namespace orv::preview {

// Decodes any PNG colour type and depth (palette and grey expanded, 16-bit
// scaled to 8, alpha dropped) and fits it as `fit` says. Nothing on any error,
// including a bad checksum or missing data, or above the pixel limit; nothing
// either for an interlaced picture whose whole frame is above the budget's held
// bytes. Colours are turned into sRGB by its iCCP profile, else (no sRGB chunk)
// by its gAMA and cHRM together.
std::optional<Picture> decode_png(const Source& source, Fit fit, const Budget& budget);

// One rectangle of the same picture at full size (see RegionOf), its colours
// as decode_png turns them. Rows below it are not decoded; an interlaced
// picture holds its rows whole (refused above the budget's held bytes).
std::optional<RegionPicture> decode_png_region(const Source& source, const RegionOf& region_of, const Budget& budget);

}  // namespace orv::preview
