// The previews a RAW file carries, as ExifTool extracts them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode.hpp"
#include "picture.hpp"

namespace orv::preview {

// What one ExifTool run tells of a file for a thumbnail: its orientation,
// and the values of the preview tags it has, in the order of the list.
struct EmbeddedPreviews {
    std::optional<int64_t> orientation;
    std::vector<std::string> encoded;
    // False when ExifTool's answer was cut short: `encoded` then holds the
    // values before the one that was.
    bool complete = true;
};

// Orientation and previews together, from one ExifTool run. Nothing when
// ExifTool cannot run at all.
std::optional<EmbeddedPreviews> embedded_previews(const std::string& path);

// Asks ExifTool for each preview tag in turn and returns the first that
// decodes, fitted; sizes are never compared. Stops at once when ExifTool
// cannot be run at all.
std::optional<Picture> first_embedded_preview(const std::string& path, Fit fit = kPreviewBound);

}  // namespace orv::preview
