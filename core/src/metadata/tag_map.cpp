#include "metadata/tag_map.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "text.hpp"

namespace orv {

namespace {

constexpr std::array<std::string_view, 5> kLastGroups = {"MakerNotes", "IPTC", "XMP", "EXIF", "Composite"};

bool is_late_group(std::string_view key) {
    if (key == "SourceFile") return true;
    for (auto g : kLastGroups) {
        if (key == g) return true;
    }
    return false;
}

void merge(TagMap& into, const json& group) {
    if (!group.is_object()) return;
    for (const auto& [tag, value] : group.items()) into.insert_or_assign(tag, value);
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Cuts every text value to kMaxTextBytes, at a character boundary: a
// caption of millions of characters is never anyone's real caption, and it
// would hold every layer after this one.
void bound_texts(json& value) {
    if (value.is_string()) {
        auto& s = value.get_ref<std::string&>();
        if (s.size() > kMaxTextBytes) s.resize(text::utf8_prefix_length(s, kMaxTextBytes));
    } else if (value.is_structured()) {
        for (auto& item : value) bound_texts(item);
    }
}

}  // namespace

json parse_exiftool_json(std::string_view out, bool allow_exceptions) {
    json doc = text::is_valid_utf8(out) ? json::parse(out, nullptr, allow_exceptions)
                                        : json::parse(text::utf8_lossy(out), nullptr, allow_exceptions);
    bound_texts(doc);
    return doc;
}

TagMap flatten_groups(const json& element) {
    TagMap map;
    if (!element.is_object()) return map;
    for (const auto& [key, group] : element.items()) {  // byte order: json objects are sorted
        if (!is_late_group(key)) merge(map, group);
    }
    for (auto g : kLastGroups) {
        if (const auto it = element.find(std::string(g)); it != element.end()) merge(map, *it);
    }
    return map;
}

const json* find_tag(const TagMap& map, std::string_view key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

std::optional<double> as_float(const json* v) {
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

std::optional<int64_t> as_int(const json* v) {
    if (!v) return std::nullopt;
    if (v->is_number_integer() && !v->is_number_unsigned()) return v->get<int64_t>();
    if (v->is_number_unsigned()) {
        const uint64_t u = v->get<uint64_t>();
        if (u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return static_cast<int64_t>(u);
    }
    return std::nullopt;
}

std::optional<std::string> get_str(const TagMap& map, std::initializer_list<std::string_view> keys) {
    for (auto key : keys) {
        if (const json* v = find_tag(map, key)) {
            if (v->is_string()) return v->get<std::string>();
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::pair<int64_t, int64_t>> pair(const TagMap& map, std::string_view k1, std::string_view k2) {
    const auto a = as_int(find_tag(map, k1));
    const auto b = as_int(find_tag(map, k2));
    if (!a || !b || *a < 1 || *b < 1) return std::nullopt;
    return std::pair{*a, *b};
}

int64_t round_to_i64(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::round(v);  // halves away from zero
    if (r >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (r <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(r);
}

std::optional<std::vector<double>> parse_number_list(const json* value) {
    if (!value || !value->is_string()) return std::nullopt;
    std::vector<double> numbers;
    for (auto piece : text::split_whitespace(value->get_ref<const std::string&>())) {
        if (auto d = text::parse_double(piece)) numbers.push_back(*d);
    }
    return numbers;
}

std::optional<std::pair<int64_t, int64_t>> last_two(const TagMap& map, std::string_view key) {
    const auto numbers = parse_number_list(find_tag(map, key));
    if (!numbers || numbers->size() < 2) return std::nullopt;
    const double a = (*numbers)[numbers->size() - 2], b = numbers->back();
    if (!(a > 0) || !(b > 0)) return std::nullopt;
    return std::pair{round_to_i64(a), round_to_i64(b)};
}

std::optional<std::string> normalize_look_name(std::string_view raw) {
    const std::string_view t = text::trim(raw);
    if (t.empty()) return std::nullopt;
    if (t.front() == 'F' && t.find('/') != std::string_view::npos) {
        const size_t open = t.rfind('('), close = t.rfind(')');
        if (open != std::string_view::npos && close != std::string_view::npos && open < close) {
            const std::string_view inner = text::trim(t.substr(open + 1, close - open - 1));
            if (!inner.empty()) return std::string(inner);
        }
    }
    const std::string_view head = text::trim(t.substr(0, t.find(';')));
    if (head.empty()) return std::nullopt;
    return std::string(head);
}

bool looks_like_hex_lens_id(std::string_view s) {
    size_t pieces = 0;
    for (size_t start = 0;; ++pieces) {
        const size_t end = std::min(s.find(' ', start), s.size());
        const std::string_view piece = s.substr(start, end - start);
        if (piece.size() != 2 || !is_hex_digit(piece[0]) || !is_hex_digit(piece[1])) return false;
        if (end == s.size()) return pieces + 1 >= 4;
        start = end + 1;
    }
}

bool looks_like_numeric_lens_id(std::string_view s) {
    const auto pieces = text::split_whitespace(s);
    if (pieces.empty()) return false;
    for (auto piece : pieces) {
        if (piece.front() == '-') piece.remove_prefix(1);
        if (piece.empty() || !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
    }
    return true;
}

}  // namespace orv
