// Which decoder a byte string is for, judged by its leading bytes only
// (the first 32 are enough).
#pragma once

#include <cstdint>
#include <span>

namespace orv::preview {

enum class Format { Unknown, Jpeg, Png, Tiff, Heif, Webp, Jxl };

Format sniff(std::span<const uint8_t> bytes);

}  // namespace orv::preview
