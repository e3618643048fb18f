// The previews a RAW file carries, as ExifTool extracts them.
#pragma once

#include <optional>
#include <string>

#include "picture.hpp"

namespace orv::preview {

// Asks ExifTool for each preview tag in turn and returns the first that
// decodes, fitted; sizes are never compared. Stops at once when ExifTool
// cannot be run at all.
std::optional<Picture> first_embedded_preview(const std::string& path);

}  // namespace orv::preview
