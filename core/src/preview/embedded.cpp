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

// The pictures that may be the camera's full frame, the earliest winning
// a tie in size.
constexpr std::array<std::string_view, 3> kFullSizeTags = {"-JpgFromRaw", "-PreviewImage", "-OtherImage"};

// The tags of the colour-space mark, as stored. They are asked for after
// the previews: a short number first in the answer is the orientation.
constexpr std::array<std::string_view, 2> kColourTags = {"-InteropIndex#", "-ColorSpace#"};
// Text values are short; no picture is this short.
constexpr size_t kLongestText = 16;

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

RunResult run_preview_tag(const std::string& path, size_t index, std::string_view end) {
    auto cmd = exiftool_command();
    cmd.arg("-b").arg("-sep").arg(end).arg("-sep").arg(end).arg(kPreviewTags.at(index));
    for (std::string_view tag : kColourTags) cmd.arg(tag);
    return cmd.file(path).output();
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
    for (std::string_view tag : kColourTags) cmd.arg(tag);
    return cmd.file(path).output();
}

RunResult run_full_size_previews(const std::string& path, std::string_view end) {
    auto cmd = exiftool_command();
    cmd.arg("-b").arg("-sep").arg(end).arg("-sep").arg(end);
    for (std::string_view tag : kFullSizeTags) cmd.arg(tag);
    for (std::string_view tag : kColourTags) cmd.arg(tag);
    return cmd.file(path).output();
}

EmbeddedAnswer parse_embedded_answer(std::string_view out, std::string_view end) {
    EmbeddedAnswer found;
    bool first = true, uncalibrated = false, r03 = false;
    for (size_t at; (at = out.find(end)) != std::string_view::npos; out.remove_prefix(at + end.size()), first = false) {
        const std::string_view value = out.substr(0, at);
        if (first && (found.orientation = orientation_value(value))) continue;
        if (value.size() <= kLongestText) {
            uncalibrated = uncalibrated || value == "65535";
            r03 = r03 || value == "R03";
            continue;
        }
        if (const auto bytes = embedded_candidate(value)) found.encoded.push_back(*bytes);
    }
    found.adobe_rgb = uncalibrated && r03;
    found.complete = out.empty();  // otherwise the last value was cut short
    return found;
}

}  // namespace orv::preview

namespace orv::preview {

EmbeddedAnswer parse_tag_answer(std::string_view out, std::string_view end) {
    if (out.find(end) != std::string_view::npos) return parse_embedded_answer(out, end);
    EmbeddedAnswer found;
    if (const auto bytes = embedded_candidate(out)) found.encoded.push_back(*bytes);
    found.complete = false;
    return found;
}

}  // namespace orv::preview
