// Whether a path names something ExifTool may be pointed at.
#pragma once

#include <optional>
#include <string>

namespace orv {

// Why the file at path must not be read, or nothing when it may (or when it
// does not exist: ExifTool reports that itself). Only regular files are
// read, following symbolic links: a FIFO blocks its reader, a device never
// ends, and a folder's files are not the folder. A file that exists but
// cannot be opened gives the system's reason: "permission denied: PATH".
std::optional<std::string> unreadable_reason(const std::string& path);

}  // namespace orv
