// The picture beside the metadata and the file manager's thumbnail: one
// pipeline. A candidate is decoded straight to about the fitted size, then
// turned upright and encoded afresh.
#include "preview/preview.hpp"

#include "candidates.hpp"
#include "decode.hpp"
#include "jpeg_encode.hpp"
#include "metadata/file_check.hpp"
#include "orient.hpp"

namespace orv {

namespace {

// How one picture is asked for.
struct Request {
    preview::Fit fit;
    preview::Budget budget;
    // The orientation to turn it by; nothing for the file's own.
    std::optional<int64_t> orientation;
};

std::optional<std::vector<uint8_t>> picture_jpeg(const std::string& path, const Request& request) {
    if (reason_not_to_read(path)) return std::nullopt;
    preview::Candidates candidates(path, request.orientation);
    std::optional<preview::Picture> picture;
    while (!picture) {
        const auto source = candidates.next();
        if (!source) return std::nullopt;
        picture = preview::decode_fitted(*source, request.fit, request.budget, candidates.colour());
    }
    return preview::encode_jpeg(preview::orient(std::move(*picture), candidates.orientation()));
}

}  // namespace

std::optional<std::vector<uint8_t>> preview_jpeg(const std::string& path, int64_t orientation) {
    return picture_jpeg(path, {preview::kPreviewBound, preview::kPreviewBudget, orientation});
}

std::optional<std::vector<uint8_t>> thumbnail_jpeg(const std::string& path, uint32_t size) {
    if (size == 0) return std::nullopt;
    return picture_jpeg(path, {{size, /*enlarge=*/false}, preview::kThumbnailBudget, std::nullopt});
}

}  // namespace orv
