// WebP pictures, decoded with libwebp straight to the fitted size, or a
// region of them at full size.
#pragma once

#include <cstdint>
#include <optional>

#include "colour.hpp"
#include "picture.hpp"
#include "region.hpp"
#include "source.hpp"

namespace orv::preview {

// Decodes a still WebP (lossy or lossless) or an animation's first frame,
// alpha dropped, colours converted to sRGB by its ICC profile, and fits it
// as `fit` says: pictures larger than the fit are scaled down by the
// decoder as it goes, smaller ones decoded whole and enlarged. Nothing for
// a truncated or damaged file, or one over the size limits or the
// budget's held bytes.
std::optional<Picture> decode_webp(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked = {});

// One rectangle of the same frame at full size (see RegionOf), its colours
// as decode_webp turns them; only the rectangle's pixels are written out.
std::optional<RegionPicture> decode_webp_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                                const ColourSource& unmarked = {});

}  // namespace orv::preview
