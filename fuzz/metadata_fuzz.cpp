// Arbitrary ExifTool-shaped JSON through the tag record, the maker-note
// fields and every brand's focus extraction, then into the envelope.
#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/brand.hpp"
#include "metadata/focus.hpp"
#include "metadata/makernotes.hpp"
#include "metadata/record.hpp"
#include "metadata/tag_map.hpp"
#include "metadata/tag_read.hpp"

namespace {
constexpr std::string_view kBrands[] = {"Canon", "Nikon", "Fujifilm", "Sony", "Olympus",
                                        "Panasonic", "Ricoh/Pentax", "Leica", "Sigma"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The orientation comes from the size, so plain ExifTool output serves
    // as seeds and every orientation (0..9) is tried.
    const int64_t orientation = static_cast<int64_t>(size % 10);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const orv::json doc = orv::json::parse(text, nullptr, false);
    if (doc.is_discarded()) return 0;

    const orv::json first = doc.is_array() && !doc.empty() ? doc.front() : doc;
    // Every field the tag read fills reaches the envelope.
    orv::InspectedFile f = orv::record_from_tags(orv::flatten_groups(first));
    f.path = "fuzz.dng";
    f.orientation = orientation;
    for (auto brand : kBrands) {
        f.makerNotes.fields = orv::extract_fields(&first, brand);
        f.makerNotes.focus = orv::extract_focus(first, brand, f.model, f.path, orientation);
        if (f.makerNotes.focus) f.makerNotes.brand = std::string(brand);
        (void)orv::envelope_json(orv::InspectResult(f));
    }
    (void)orv::brand_for(f.make);
    return 0;
}
