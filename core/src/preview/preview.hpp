// The picture shown beside the metadata (an upright JPEG fitted to 1800 px),
// and the file manager's thumbnail of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// The file's picture, turned upright by `orientation`: a JPEG, PNG or TIFF
// file decoded directly (mapped, and refused above kMaxDirectFileBytes), any
// other file through the first decodable preview ExifTool finds embedded in
// it (none above kMaxEmbeddedBytes is decoded). Decoding holds at most what
// kPreviewBudget allows. Nothing when there is none.
std::optional<std::vector<uint8_t>> preview_jpeg(const std::string& path, int64_t orientation);

// The same picture fitted into size x size and never enlarged, turned by the
// file's own orientation: for RAW files one ExifTool run gives both the
// orientation and the embedded previews, so a thumbnail costs one run.
// Decoding holds at most what the smaller kThumbnailBudget allows.
std::optional<std::vector<uint8_t>> thumbnail_jpeg(const std::string& path, uint32_t size);

}  // namespace orv
