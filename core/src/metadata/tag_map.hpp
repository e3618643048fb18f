// Reading ExifTool's JSON: one flat map from tag name to value, and the small
// readers the tag record, the maker notes and the focus box share.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace orv {

using json = nlohmann::json;
using TagMap = std::map<std::string, json, std::less<>>;

// The longest text value kept, in bytes of UTF-8.
inline constexpr size_t kMaxTextBytes = 64 * 1024;

// ExifTool's JSON output as a document. Byte sequences that are not UTF-8
// are replaced first, so one stray byte in a tag cannot make the whole
// output unreadable, and every text value is cut to kMaxTextBytes at a
// character boundary. Without exceptions, unreadable text gives a discarded
// value; with them, json::parse_error.
json parse_exiftool_json(std::string_view out, bool allow_exceptions = false);

// Merges ExifTool's per-group objects (output of -g) into one map. Later
// groups win: Composite over EXIF over XMP over IPTC over MakerNotes over all
// other groups, and among the others the alphabetically later one. A value
// that is not an object gives an empty map.
TagMap flatten_groups(const json& element);

// The value under key, or null when absent.
const json* find_tag(const TagMap& map, std::string_view key);

// Any JSON number, as a double.
std::optional<double> as_float(const json* v);
// A JSON integer that fits a signed 64-bit integer (floats are not integers).
std::optional<int64_t> as_int(const json* v);

// The first key of the list present in the map decides: its text, or nothing
// when it is not text (later keys are not tried).
std::optional<std::string> get_str(const TagMap& map, std::initializer_list<std::string_view> keys);

// Both values as integers, both at least 1.
std::optional<std::pair<int64_t, int64_t>> pair(const TagMap& map, std::string_view k1, std::string_view k2);

// Numbers of a white-space separated text; pieces that are not numbers are
// skipped. Nothing when the value is not text.
std::optional<std::vector<double>> parse_number_list(const json* value);

// The last two numbers of a white-space separated text, both positive,
// rounded to integers (halves away from zero).
std::optional<std::pair<int64_t, int64_t>> last_two(const TagMap& map, std::string_view key);

// A camera-look name as shown to people: "F2/Fujichrome (Velvia)" gives
// "Velvia", "Vivid; extra" gives "Vivid"; blank gives nothing.
std::optional<std::string> normalize_look_name(std::string_view text);

// Lens ids that numeric output prints as hex bytes ("8A 3C 37 53 ...").
bool looks_like_hex_lens_id(std::string_view text);

// Lens ids that numeric output prints as decimal codes ("3 44", "21"): a
// code, not a name a person can read.
bool looks_like_numeric_lens_id(std::string_view text);

// Rounds halves away from zero into a 64-bit integer, saturating at the ends.
int64_t round_to_i64(double v);

}  // namespace orv
