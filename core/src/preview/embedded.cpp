#include "embedded.hpp"

#include <array>
#include <random>
#include <span>
#include <string_view>

#include "decode.hpp"
#include "exiftool/command.hpp"
#include "text.hpp"

namespace orv::preview {

namespace {
// Most useful first: a camera's large preview, then its full-size JPEG, then
// ever smaller thumbnails.
constexpr std::array<std::string_view, 6> kPreviewTags = {
    "-PreviewImage", "-JpgFromRaw", "-ThumbnailImage", "-ThumbnailTIFF", "-PreviewTIFF", "-PhotoshopThumbnail",
};
std::string random_marker() {
    std::random_device random;
    return "{orvql-end " + std::to_string(random()) + "-" + std::to_string(random()) + "}";
}

// The orientation as ExifTool prints it with "#": a short decimal number,
// which no picture is.
std::optional<int64_t> orientation_value(std::string_view item) {
    if (item.empty() || item.size() > 4) return std::nullopt;
    const auto n = text::parse_u64(item);
    if (!n || item.front() == '+') return std::nullopt;
    return static_cast<int64_t>(*n);
}

}  // namespace

std::optional<EmbeddedPreviews> embedded_previews(const std::string& path) {
    // One ExifTool run: with -b, ExifTool prints the values in the order
    // asked, each followed by the second -sep text, and nothing for a tag
    // the file does not have. A terminator no file can predict splits them.
    const std::string end = random_marker();
    auto cmd = exiftool_command();
    cmd.arg("-b").arg("-sep").arg(end).arg("-sep").arg(end).arg("-Orientation#");
    for (std::string_view tag : kPreviewTags) cmd.arg(tag);
    const RunResult run = cmd.file(path).output();
    if (!run) return std::nullopt;

    EmbeddedPreviews found;
    std::string_view out = run->out;
    for (size_t at; (at = out.find(end)) != std::string_view::npos; out.remove_prefix(at + end.size())) {
        found.encoded.emplace_back(out.substr(0, at));
    }
    found.complete = out.empty();  // otherwise the last value was cut short
    if (!found.encoded.empty()) {
        if ((found.orientation = orientation_value(found.encoded.front()))) found.encoded.erase(found.encoded.begin());
    }
    return found;
}

std::optional<Picture> first_embedded_preview(const std::string& path, Fit fit) {
    for (std::string_view tag : kPreviewTags) {
        const RunResult run = exiftool_command().arg("-b").arg(tag).file(path).output();
        if (!run) return std::nullopt;  // no later tag could fare better
        if (!run->success() || run->out.empty()) continue;
        const std::span bytes(reinterpret_cast<const uint8_t*>(run->out.data()), run->out.size());
        if (auto picture = decode_fitted(bytes, fit)) return picture;
    }
    return std::nullopt;
}

}  // namespace orv::preview
