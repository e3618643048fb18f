// Where the running program is, and the ExifTool installed beside it.
#pragma once

#include <filesystem>
#include <optional>

namespace orv::tools {

// The running program's own file, or none when the system will not say.
std::optional<std::filesystem::path> own_executable();

// The ExifTool installed with a program of ours:
// PREFIX/share/orvanta/exiftool/exiftool for a program in PREFIX/bin.
std::filesystem::path bundled_exiftool(const std::filesystem::path& executable);

// bundled_exiftool() of the running program; an empty path when its own
// location cannot be read.
std::filesystem::path own_bundled_exiftool();

}  // namespace orv::tools
