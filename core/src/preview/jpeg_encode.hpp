// The picture handed out: a baseline JPEG.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "picture.hpp"

namespace orv::preview {

// Baseline JPEG at quality 75 (the standard tables scaled for it), all three
// components at full resolution, a JFIF header with square pixels and no
// EXIF or ICC data, so nothing can turn the picture a second time.
std::optional<std::vector<uint8_t>> encode_jpeg(const Picture& picture);

}  // namespace orv::preview
