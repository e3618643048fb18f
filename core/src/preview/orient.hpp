// Turning a picture upright from its EXIF orientation code.
#pragma once

#include <cstdint>

#include "picture.hpp"

namespace orv::preview {

// Codes 2 to 8 mirror and turn the picture; 1 and every other value leave
// it as it is.
Picture orient(Picture picture, int64_t orientation);

}  // namespace orv::preview
