// From encoded bytes to a fitted picture: the part of the pipeline that sees
// untrusted data, usable on its own (the fuzz target drives it directly).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "colour.hpp"
#include "picture.hpp"
#include "region.hpp"
#include "source.hpp"

namespace orv::preview {

// The longer side of every picture shown.
inline constexpr uint32_t kPreviewBound = 1800;

// Decodes a JPEG, PNG, TIFF, HEIF (HEIC, AVIF), WebP or JPEG XL (told apart
// by the leading bytes), fits it as `fit` says, within `budget`, and turns
// its colours into sRGB (by what the picture says, else by `unmarked`: what
// the file it came from says).
// Nothing for any other content, any decoding failure or a picture the
// budget cannot hold.
std::optional<Picture> decode_fitted(const Source& source, Fit fit = kPreviewBound,
                                     const Budget& budget = kPreviewBudget, const ColourSource& unmarked = {});
inline std::optional<Picture> decode_fitted(std::span<const uint8_t> bytes, Fit fit = kPreviewBound,
                                            const Budget& budget = kPreviewBudget) {
    return decode_fitted(Source(bytes), fit, budget);
}

// One rectangle of the same pictures at full size (see RegionOf), stored
// as decode_fitted would read it, its colours turned as decode_fitted
// turns them. JPEG, TIFF, PNG, WebP and JPEG XL decode only what the
// rectangle needs (see their own region decoders); HEIF is decoded whole at
// full size, then cut. Nothing where decode_fitted gives nothing, and for
// a rectangle that does not lie inside.
std::optional<RegionPicture> decode_region(const Source& source, const RegionOf& region_of,
                                           const Budget& budget = kPreviewBudget, const ColourSource& unmarked = {});

// For a file that rotates or mirrors its picture itself (HEIF's irot and
// imir, JPEG XL's orientation), the orientation that still turns the
// decoded picture upright: 1 for HEIF, which decoding has turned already,
// the stored one for JPEG XL, which is decoded as stored. Such a file's
// EXIF orientation says the same turn again, or is overruled by the
// container, and must not be applied as well. Nothing for other files.
std::optional<int64_t> own_turn(const Source& source);

}  // namespace orv::preview
