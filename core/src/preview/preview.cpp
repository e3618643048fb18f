// The picture beside the metadata: decode (or extract) it, fit it, turn it
// upright, encode it afresh.
#include "preview/preview.hpp"

#include "decode.hpp"
#include "embedded.hpp"
#include "extension.hpp"
#include "file_bytes.hpp"
#include "jpeg_encode.hpp"
#include "metadata/file_check.hpp"
#include "orient.hpp"

namespace orv {

std::optional<std::vector<uint8_t>> preview_jpeg(const std::string& path, int64_t orientation) {
    if (unreadable_reason(path)) return std::nullopt;
    std::optional<preview::Picture> picture;
    const auto extension = preview::lowercase_extension(path);
    if (extension && preview::is_direct_extension(*extension)) {
        // The content decides the decoder; a file that decodes as none of
        // them has no picture, and ExifTool is not asked.
        const auto file = preview::read_file_bytes(path);
        if (!file) return std::nullopt;
        picture = preview::decode_fitted(file->bytes());
    } else {
        picture = preview::first_embedded_preview(path);
    }
    if (!picture) return std::nullopt;
    return preview::encode_jpeg(preview::orient(std::move(*picture), orientation));
}

}  // namespace orv
