// Which decoder a byte string is for, judged by its leading bytes only.
#pragma once

#include <cstdint>
#include <span>

namespace orv::preview {

enum class Format { Unknown, Jpeg, Png, Tiff };

Format sniff(std::span<const uint8_t> bytes);

}  // namespace orv::preview
