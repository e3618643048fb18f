#include "extension.hpp"

#include <algorithm>
#include <array>

#include "metadata/path_parts.hpp"
#include "text.hpp"

namespace orv::preview {

namespace {
constexpr std::array<std::string_view, 11> kDirectExtensions = {"jpg",  "jpeg", "png",  "tif",  "tiff", "heic",
                                                                "heif", "hif",  "avif", "webp", "jxl"};
}  // namespace

std::optional<std::string> lowercase_extension(std::string_view path) {
    const auto extension = file_extension(path);
    if (!extension) return std::nullopt;
    return text::to_lower(*extension);
}

bool is_direct_extension(std::string_view extension) {
    return std::find(kDirectExtensions.begin(), kDirectExtensions.end(), extension) != kDirectExtensions.end();
}

}  // namespace orv::preview
