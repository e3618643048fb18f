#include "embedded.hpp"

#include <array>
#include <random>

#include "text.hpp"

namespace orv::preview {

namespace {
// Most useful first: a camera's large preview, then its full-size JPEG, then
// ever smaller thumbnails.
constexpr std::array<std::string_view, 6> kPreviewTags = {
    "-PreviewImage", "-JpgFromRaw", "-ThumbnailImage", "-ThumbnailTIFF", "-PreviewTIFF", "-PhotoshopThumbnail",
};

// The orientation as ExifTool prints it with "#": a short decimal number,
// which no picture is.
std::optional<int64_t> orientation_value(std::string_view item) {
    if (item.empty() || item.size() > 4) return std::nullopt;
    const auto n = text::parse_u64(item);
    if (!n || item.front() == '+') return std::nullopt;
    return static_cast<int64_t>(*n);
}

}  // namespace

std::optional<std::span<const uint8_t>> embedded_candidate(std::string_view value) {
    if (value.size() > kMaxEmbeddedBytes) return std::nullopt;
    return std::span(reinterpret_cast<const uint8_t*>(value.data()), value.size());
}

size_t preview_tag_count() { return kPreviewTags.size(); }

RunResult run_preview_tag(const std::string& path, size_t index) {
    return exiftool_command().arg("-b").arg(kPreviewTags.at(index)).file(path).output();
}

std::string answer_end_marker() {
    std::random_device random;
    return "{orvql-end " + std::to_string(random()) + "-" + std::to_string(random()) + "}";
}

RunResult run_orientation_and_previews(const std::string& path, std::string_view end) {
    // With -b, ExifTool prints the values in the order asked, each followed
    // by the second -sep text, and nothing for a tag the file does not have.
    auto cmd = exiftool_command();
    cmd.arg("-b").arg("-sep").arg(end).arg("-sep").arg(end).arg("-Orientation#");
    for (std::string_view tag : kPreviewTags) cmd.arg(tag);
    return cmd.file(path).output();
}

EmbeddedAnswer parse_embedded_answer(std::string_view out, std::string_view end) {
    EmbeddedAnswer found;
    bool first = true;
    for (size_t at; (at = out.find(end)) != std::string_view::npos; out.remove_prefix(at + end.size()), first = false) {
        const std::string_view value = out.substr(0, at);
        if (first && (found.orientation = orientation_value(value))) continue;
        if (const auto bytes = embedded_candidate(value)) found.encoded.push_back(*bytes);
    }
    found.complete = out.empty();  // otherwise the last value was cut short
    return found;
}

}  // namespace orv::preview
