// Thumbnails for file managers: the same picture as the preview, decoded
// straight to the size asked for, with at most one ExifTool run in the usual
// case (a file manager asks for a whole folder at once).
#include "preview/preview.hpp"

#include "decode.hpp"
#include "embedded.hpp"
#include "exiftool/command.hpp"
#include "extension.hpp"
#include "file_bytes.hpp"
#include "jpeg_encode.hpp"
#include "metadata/file_check.hpp"
#include "metadata/tag_map.hpp"
#include "orient.hpp"

namespace orv {
namespace {

// The EXIF orientation of a picture decoded directly; 1 when it has none.
int64_t orientation_of(const std::string& path) {
    const auto run = exiftool_command().arg("-j").arg("-Orientation#").file(path).output();
    if (!run) return 1;
    const json doc = parse_exiftool_json(run->out);
    if (!doc.is_array() || doc.empty() || !doc[0].is_object()) return 1;
    const auto it = doc[0].find("Orientation");
    return as_int(it == doc[0].end() ? nullptr : &*it).value_or(1);
}

}  // namespace

std::optional<std::vector<uint8_t>> thumbnail_jpeg(const std::string& path, uint32_t size) {
    if (size == 0 || unreadable_reason(path)) return std::nullopt;
    const preview::Fit fit{size, /*enlarge=*/false};
    std::optional<preview::Picture> picture;
    int64_t orientation = 1;
    const auto extension = preview::lowercase_extension(path);
    if (extension && preview::is_direct_extension(*extension)) {
        const auto file = preview::read_file_bytes(path);
        if (!file || !(picture = preview::decode_fitted(file->bytes(), fit))) return std::nullopt;
        orientation = orientation_of(path);
    } else {
        const auto previews = preview::embedded_previews(path);
        if (!previews) return std::nullopt;
        orientation = previews->orientation.value_or(1);
        for (const std::string& encoded : previews->encoded) {
            const std::span bytes(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size());
            if ((picture = preview::decode_fitted(bytes, fit))) break;
        }
        // An answer cut short may have lost the one that decodes: ask tag by tag.
        if (!picture && !previews->complete) picture = preview::first_embedded_preview(path, fit);
    }
    if (!picture) return std::nullopt;
    return preview::encode_jpeg(preview::orient(std::move(*picture), orientation));
}

}  // namespace orv
