// The mark a camera writes for Adobe RGB (1998) instead of a profile, read
// from a JPEG's own EXIF block.
#pragma once

#include <cstdint>
#include <span>

namespace orv::preview {

// Whether an APP1 payload ("Exif\0\0" and a TIFF structure) says ColorSpace
// 0xFFFF ("Uncalibrated") with InteropIndex "R03". False for anything else,
// however damaged.
bool exif_marks_adobe_rgb(std::span<const uint8_t> app1);

}  // namespace orv::preview
