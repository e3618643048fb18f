#include "embedded.hpp"

#include <array>
#include <span>
#include <string_view>

#include "../exiftool_bin.hpp"
#include "decode.hpp"

namespace orv::preview {

namespace {
// Most useful first: a camera's large preview, then its full-size JPEG, then
// ever smaller thumbnails.
constexpr std::array<std::string_view, 6> kPreviewTags = {
    "-PreviewImage", "-JpgFromRaw", "-ThumbnailImage", "-ThumbnailTIFF", "-PreviewTIFF", "-PhotoshopThumbnail",
};
}  // namespace

std::optional<Picture> first_embedded_preview(const std::string& path) {
    for (std::string_view tag : kPreviewTags) {
        const RunResult run = exiftool_command_inner().arg("-b").arg(tag).file(path).output();
        if (!run) return std::nullopt;  // no later tag could fare better
        if (!run->success() || run->out.empty()) continue;
        const std::span bytes(reinterpret_cast<const uint8_t*>(run->out.data()), run->out.size());
        if (auto picture = decode_fitted(bytes)) return picture;
    }
    return std::nullopt;
}

}  // namespace orv::preview
