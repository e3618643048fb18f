// The maker's own settings: for a recognised brand, one extra ExifTool pass
// over the maker notes gives a short list of highlights and the focus box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/record.hpp"
#include "metadata/tag_map.hpp"

namespace orv {

// The brand's highlight fields in table order. Nothing when there is no
// maker-note object or it is empty.
std::vector<MakerNoteField> extract_fields(const json* maker_notes, std::string_view brand);

struct MakerNoteRequest {
    std::string path;
    std::optional<std::string> make;
    std::optional<std::string> model;
    int64_t orientation = 1;
};

// brand_for -> maker-note pass -> fields -> focus box. No brand: the empty
// block and no run. A pass that fails: the empty block too (brand dropped).
MakerNoteInfo analyse_maker_notes(const MakerNoteRequest& request);

}  // namespace orv
