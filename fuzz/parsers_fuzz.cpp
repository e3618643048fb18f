// The text parsers behind focus boxes, sizes, dates, look names and paths,
// over arbitrary bytes (made valid UTF-8 first, as all their input is).
#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/focus.hpp"
#include "metadata/path_parts.hpp"
#include "metadata/tag_map.hpp"
#include "metadata/tag_read.hpp"
#include "text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string s = orv::text::utf8_lossy(raw);
    if (!orv::text::is_valid_utf8(s)) __builtin_trap();

    const orv::json value = s;
    (void)orv::parse_number_list(&value);
    (void)orv::parse_wxh(s);
    (void)orv::parse_pentax_af_area(s);
    (void)orv::parse_olympus_af_areas(s);
    (void)orv::normalize_look_name(s);
    (void)orv::looks_like_hex_lens_id(s);
    (void)orv::looks_like_numeric_lens_id(s);
    if (!orv::text::is_valid_utf8(orv::normalize_date(s))) __builtin_trap();
    if (!orv::text::is_valid_utf8(orv::text::to_lower(s))) __builtin_trap();
    (void)orv::text::trim(s);
    (void)orv::text::split_whitespace(s, ",");
    orv::TagMap map{{"ImageSize", value}};
    (void)orv::last_two(map, "ImageSize");
    (void)orv::file_name(s);
    (void)orv::file_extension(s);
    (void)orv::sidecar_path(s);
    return 0;
}
