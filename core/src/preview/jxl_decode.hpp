// JPEG XL pictures, decoded with libjxl.
#pragma once

#include <cstdint>
#include <optional>

#include "colour.hpp"
#include "picture.hpp"
#include "region.hpp"
#include "source.hpp"

namespace orv::preview {

// Decodes a JPEG XL codestream, bare or in its box container (an
// animation gives its first frame), as stored (its orientation is left to
// the pipeline, see jxl_orientation), alpha dropped, colours converted to
// sRGB, and fits it as `fit` says. libjxl offers no decode at a reduced
// size, so the whole frame is held, with libjxl's working planes for it:
// nothing for a picture the budget's held bytes cannot hold, one over the
// size limits, or one damaged or cut short.
std::optional<Picture> decode_jxl(const Source& source, Fit fit, const Budget& budget,
                                  const ColourSource& unmarked = {});

// One rectangle of the same frame at full size (see RegionOf), its colours
// as decode_jxl turns them: libjxl hands over the decoded pixels as it
// goes and only the rectangle's are kept, so the 8-bit frame is never held.
std::optional<RegionPicture> decode_jxl_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                               const ColourSource& unmarked = {});

// The orientation the codestream stores (EXIF values, 1 as stored). It is
// the file's own and overrules an EXIF orientation beside it, which must
// not be applied as well.
int64_t jxl_orientation(const Source& source);

}  // namespace orv::preview
