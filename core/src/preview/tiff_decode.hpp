// TIFF pictures, decoded with libtiff into the resampler or a region: strips
// row by row, tiles and separate planes one row of tiles or strips at a time.
#pragma once

#include "colour.hpp"
#include "picture.hpp"
#include "region.hpp"
#include "source.hpp"
#include <cstdint>
#include <optional>

namespace orv::preview {

// Decodes the first image of a TIFF (strips or tiles, 1 to 16 bits a sample,
// grey, palette, RGB, YCbCr, CMYK; alpha dropped) as stored, ignoring its
// orientation tag, and fits it as `fit` says. Nothing on any error or above the
// pixel limit, or when a strip or tile that must be decoded whole is above
// the budget's held bytes. libtiff's messages stay on the handle; nothing
// reaches stderr. Colours are turned into sRGB by its ICC profile tag, else by
// `unmarked` (what the file it came from says).
std::optional<Picture> decode_tiff(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked = {});

// One rectangle of the same picture at full size (see RegionOf), its colours
// as decode_tiff turns them. Only the strips or tiles under it are decoded
// (rows from the strip that holds its first row), and no more than a row
// or a band of rows of the whole width is held besides the rectangle.
std::optional<RegionPicture> decode_tiff_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                                const ColourSource& unmarked = {});

}  // namespace orv::preview
