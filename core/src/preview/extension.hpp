// The file-name extension that decides between decoding a file directly and
// asking ExifTool for the previews embedded in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv::preview {

// The text after the last dot of the path's last component, fully
// lower-cased; nothing when that name has no dot or only a leading one.
std::optional<std::string> lowercase_extension(std::string_view path);

// Whether files with this (lower-cased) extension are pictures decoded
// directly: JPEG, PNG, TIFF, HEIF (HEIC, AVIF), WebP and JPEG XL.
bool is_direct_extension(std::string_view extension);

}  // namespace orv::preview
