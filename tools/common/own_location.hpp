// Where the running program is, and the ExifTool installed beside it.
#pragma once

#include <filesystem>
#include <optional>

namespace orv::tools {

// The running program's own file, or none when the system will not say.
std::optional<std::filesystem::path> own_executable();

// The ExifTool installed with the running program:
// PREFIX/share/orvanta/exiftool/exiftool for a program in PREFIX/bin; an
// empty path when the program's own location cannot be read.
std::filesystem::path bundled_exiftool();

}  // namespace orv::tools
