#include "zoom.hpp"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "decode.hpp"
#include "embedded.hpp"
#include "extension.hpp"
#include "jpeg_decode.hpp"
#include "metadata/file_check.hpp"
#include "orient.hpp"

namespace orv::preview {

namespace {

// The region of one encoded picture, turned upright.
std::optional<Zoomed> zoom_source(const Source& source, int64_t orientation, const Wanted& wanted,
                                  const ColourSource& unmarked) {
    Zoomed z;
    const RegionOf region_of = [&](Size full) {
        z.full = upright_size(full, orientation);
        z.region = place(z.full, wanted);
        return stored_rect(z.region, full, orientation);
    };
    auto decoded = decode_region(source, region_of, kPreviewBudget, unmarked);
    if (!decoded) return std::nullopt;
    try {
        z.picture = orient(std::move(decoded->picture), orientation);
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // too big for the memory at hand: no picture, not a fault
    }
    return z;
}

std::optional<Zoomed> zoom_direct(const std::string& path, int64_t orientation, const Wanted& wanted) {
    const auto file = open_direct_file(path);
    if (!file) return std::nullopt;
    const Source source = file->source();
    // A file that turns its picture itself decides, as for the preview.
    return zoom_source(source, own_turn(source).value_or(orientation), wanted, {});
}

std::optional<Zoomed> zoom_embedded(const std::string& path, int64_t orientation, const Wanted& wanted) {
    const std::string end = answer_end_marker();
    const RunResult run = run_full_size_previews(path, end);
    if (!run) return std::nullopt;
    // An answer cut short still offers the pictures before the cut.
    const EmbeddedAnswer answer = parse_embedded_answer(run->out, end);
    struct Sized {
        Source source;
        uint64_t pixels;
    };
    std::vector<Sized> found;
    for (const auto bytes : answer.encoded) {
        const Source source(bytes);
        if (const auto size = jpeg_size(source)) found.push_back({source, uint64_t{size->width} * size->height});
    }
    std::ranges::stable_sort(found, std::ranges::greater{}, &Sized::pixels);
    for (const Sized& candidate : found) {
        if (auto z = zoom_source(candidate.source, orientation, wanted, {{}, answer.adobe_rgb})) {
            z->embedded = true;
            return z;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Zoomed> zoom(const std::string& path, int64_t orientation, const Wanted& wanted) {
    if (reason_not_to_read(path)) return std::nullopt;
    const auto extension = lowercase_extension(path);
    if (extension && is_direct_extension(*extension)) return zoom_direct(path, orientation, wanted);
    return zoom_embedded(path, orientation, wanted);
}

}  // namespace orv::preview
