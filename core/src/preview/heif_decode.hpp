// HEIF pictures, decoded with libheif: HEIC (HEVC-coded, as phones store
// them) and AVIF (AV1-coded), both in the same ISO box container.
#pragma once

#include <cstdint>
#include <optional>

#include "colour.hpp"
#include "picture.hpp"
#include "source.hpp"

namespace orv::preview {

// Decodes the file's primary picture (a burst or collection shows only it;
// its embedded thumbnail is never used instead) with the container's
// crop, rotation and mirror applied, alpha dropped, 10-bit samples reduced
// to 8, its colours converted to sRGB, and fits it as `fit` says. Nothing
// for a damaged file, a missing primary picture, one over the size limits,
// or one whose decoded frame and planes the budget's held bytes cannot
// hold.
std::optional<Picture> decode_heif(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked = {});

// Whether the container rotates or mirrors the primary picture (irot or
// imir boxes associated with it). Decoding applies those, and phones write
// the same turn again as an EXIF orientation: for such a file the EXIF
// orientation has already been honoured and must not be applied again.
bool heif_turns_picture(const Source& source);

}  // namespace orv::preview
