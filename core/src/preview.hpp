// The picture shown beside the metadata: an upright JPEG fitted to 1800 px.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

std::optional<std::vector<uint8_t>> embedded_preview_jpeg(const std::string& path, int64_t orientation);

}  // namespace orv
