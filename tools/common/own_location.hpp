// Where the running program is, and the ExifTool it uses.
#pragma once

#include <filesystem>
#include <optional>

namespace orv::tools {

// The running program's own file, or none when the system will not say.
std::optional<std::filesystem::path> own_executable();

// The ExifTool script the running program uses: the copy installed with it
// (PREFIX/share/orvanta/exiftool/exiftool for a program in PREFIX/bin: the
// build tree and installs into other prefixes carry one), else the system's
// (/usr/bin/exiftool, kept current by the package manager: the Debian
// package carries no copy). The installed copy's path when neither exists;
// an empty path when the program's own location cannot be read.
std::filesystem::path exiftool_script();

}  // namespace orv::tools
