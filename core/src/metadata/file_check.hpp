// Whether a path names something ExifTool may be pointed at.
#pragma once

#include <optional>
#include <string>

namespace orv {

// Why the file at path must not be handed to ExifTool, or nothing when it
// may (or when nothing is there: see reason_missing). Only regular files
// are read, following symbolic links: a FIFO blocks its reader, a device
// never ends, and a folder's files are not the folder. Otherwise the
// system's reason in lower case: "permission denied: PATH", "too many
// levels of symbolic links: PATH".
std::optional<std::string> reason_not_to_read(const std::string& path);

// "no such file: PATH" when nothing is at path (asked after ExifTool found
// nothing, so that a file made meanwhile is still read), else nothing.
std::optional<std::string> reason_missing(const std::string& path);

}  // namespace orv
