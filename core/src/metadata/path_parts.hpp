// Names derived from a path's text, without touching the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv {

// The final component when it is a normal name: trailing slashes and "."
// components are skipped; a path that is empty, the root, or ends in ".."
// has none.
std::optional<std::string_view> file_name(std::string_view path);

// The text after the last dot of the final name, as written. None when there
// is no name, no dot, or the only dot is the name's first character
// (".profile").
std::optional<std::string_view> file_extension(std::string_view path);

// The path with the final name's extension replaced by "xmp" (".xmp"
// appended when it has none); the path itself when it has no final name.
std::string sidecar_path(std::string_view path);

}  // namespace orv
