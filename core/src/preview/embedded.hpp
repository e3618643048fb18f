// The previews a RAW file carries, as ExifTool extracts them: all at once
// with the orientation (one run), or tag by tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exiftool/command.hpp"

namespace orv::preview {

// The largest embedded preview decoded: 256 MiB. Real ones are a few MB;
// anything larger is passed over without being decoded.
inline constexpr uint64_t kMaxEmbeddedBytes = uint64_t{256} << 20;

// A value ExifTool printed for a preview tag, as bytes to decode; nothing
// above kMaxEmbeddedBytes.
std::optional<std::span<const uint8_t>> embedded_candidate(std::string_view value);

// How many preview tags there are; they are asked for most useful first.
size_t preview_tag_count();
// A terminator for the values of one run, that no file can predict.
std::string answer_end_marker();
// One run asking for preview tag `index`, then the colour-space mark, each
// value followed by `end`.
RunResult run_preview_tag(const std::string& path, size_t index, std::string_view end);
// One run asking for the orientation, every preview tag and the
// colour-space mark, each value followed by `end`.
RunResult run_orientation_and_previews(const std::string& path, std::string_view end);

// One run asking for the full-size pictures a RAW file may carry
// (JpgFromRaw, PreviewImage, OtherImage, in that order), then the
// colour-space mark, each value followed by `end`; parse_embedded_answer
// reads it (no orientation is asked).
RunResult run_full_size_previews(const std::string& path, std::string_view end);

// What that run's output says: views into it.
struct EmbeddedAnswer {
    std::optional<int64_t> orientation;
    // The file's EXIF says Adobe RGB without a profile: ColorSpace 0xFFFF
    // ("Uncalibrated") and InteropIndex "R03".
    bool adobe_rgb = false;
    // The values of the preview tags the file has, in the order asked;
    // values above kMaxEmbeddedBytes are left out.
    std::vector<std::span<const uint8_t>> encoded;
    // False when the output was cut short: `encoded` then holds the values
    // before the one that was.
    bool complete = true;
};
EmbeddedAnswer parse_embedded_answer(std::string_view out, std::string_view end);
// What a run of run_preview_tag says. An output without any end marker was
// cut short inside the preview: it is taken whole, and decodes only if the
// picture in it is whole.
EmbeddedAnswer parse_tag_answer(std::string_view out, std::string_view end);

}  // namespace orv::preview
