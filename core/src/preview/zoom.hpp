// One place of a file's picture at full size, upright, for judging
// sharpness.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "picture.hpp"
#include "region.hpp"

namespace orv::preview {

struct Zoomed {
    Size full;        // the upright full-size picture's
    Rect region;      // where `picture` lies in it
    Picture picture;  // upright, sRGB
    bool embedded = false;
};

// The wanted region (see place) of the file's full-size picture: the file
// itself for the formats preview_jpeg decodes directly, else the largest
// embedded JPEG by its header's size (JpgFromRaw, PreviewImage, OtherImage;
// the earlier on a tie) that decodes. Turned upright by `orientation`, or
// by the file's own turn for HEIF and JPEG XL. Only what the region needs
// is decoded, except for HEIF (see decode_region), within kPreviewBudget.
// Nothing when there is no picture.
std::optional<Zoomed> zoom(const std::string& path, int64_t orientation, const Wanted& wanted);

}  // namespace orv::preview
