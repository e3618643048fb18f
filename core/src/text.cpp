#include "text.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace orv::text {
namespace {

struct LowerEntry {
    char32_t cp;
    const char* lower;
};

constexpr LowerEntry kLowerTable[] = {
#include "lowercase_table.inc"
};

struct Range {
    char32_t first, last;
};

constexpr Range kCased[] = {
#include "cased_ranges.inc"
};

constexpr Range kCaseIgnorable[] = {
#include "case_ignorable_ranges.inc"
};

template <size_t N>
bool in_ranges(const Range (&ranges)[N], char32_t cp) {
    const auto* it = std::upper_bound(std::begin(ranges), std::end(ranges), cp,
                                      [](char32_t v, const Range& r) { return v < r.first; });
    return it != std::begin(ranges) && cp <= std::prev(it)->last;
}

char32_t previous_code_point(std::string_view s, size_t& pos) {
    size_t start = pos - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    size_t at = start;
    const char32_t cp = next_code_point(s, at);
    pos = start;
    return cp;
}

// A capital sigma that ends a word lower-cases to the final form: it follows
// a cased letter and no cased letter follows it (case-ignorable characters
// such as apostrophes between them do not count).
bool ends_word(std::string_view s, size_t start, size_t end) {
    bool after_cased = false;
    for (size_t pos = start; pos > 0;) {
        const char32_t cp = previous_code_point(s, pos);
        if (in_ranges(kCaseIgnorable, cp)) continue;
        after_cased = in_ranges(kCased, cp);
        break;
    }
    if (!after_cased) return false;
    for (size_t pos = end; pos < s.size();) {
        const char32_t cp = next_code_point(s, pos);
        if (in_ranges(kCaseIgnorable, cp)) continue;
        return !in_ranges(kCased, cp);
    }
    return true;
}

// What may follow a lead byte: how many continuation bytes, and the range
// of the first one (narrower after E0, ED, F0 and F4, which rules out
// overlong forms, surrogates and code points above U+10FFFF).
struct LeadRule {
    size_t need = 0;  // 0: not a lead byte
    unsigned char lo = 0x80, hi = 0xBF;
};

LeadRule lead_rule(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return {1};
    if (c == 0xE0) return {2, 0xA0, 0xBF};
    if (c == 0xED) return {2, 0x80, 0x9F};
    if (c >= 0xE1 && c <= 0xEF) return {2};
    if (c == 0xF0) return {3, 0x90, 0xBF};
    if (c == 0xF4) return {3, 0x80, 0x8F};
    if (c >= 0xF1 && c <= 0xF3) return {3};
    return {};
}

// How many bytes from s[i] continue the sequence its lead byte starts, as far
// as they are valid.
size_t valid_continuations(std::string_view s, size_t i, const LeadRule& rule) {
    size_t k = 1;
    for (; k <= rule.need && i + k < s.size(); ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if (t < (k == 1 ? rule.lo : 0x80) || t > (k == 1 ? rule.hi : 0xBF)) break;
    }
    return k - 1;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes
// there do not start one.
size_t valid_sequence_length(std::string_view s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    const LeadRule rule = lead_rule(c);
    if (rule.need == 0 || valid_continuations(s, i, rule) != rule.need) return 0;
    return rule.need + 1;
}

// How many bytes from s[i] form the maximal prefix of a valid sequence (at
// least 1): they are replaced together by one U+FFFD.
size_t invalid_run_length(std::string_view s, size_t i) {
    const LeadRule rule = lead_rule(static_cast<unsigned char>(s[i]));
    return rule.need == 0 ? 1 : 1 + valid_continuations(s, i, rule);
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = valid_sequence_length(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = valid_sequence_length(bytes, i);
        if (n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            out.append("\xEF\xBF\xBD");
            i += invalid_run_length(bytes, i);
        }
    }
    return out;
}

char32_t next_code_point(std::string_view s, size_t& pos) {
    const unsigned char c = static_cast<unsigned char>(s[pos]);
    const auto cont = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[pos + k]) & 0x3F); };
    char32_t cp;
    size_t n;
    if (c < 0x80) {
        cp = c;
        n = 1;
    } else if (c < 0xE0) {
        cp = (static_cast<char32_t>(c & 0x1F) << 6) | cont(1);
        n = 2;
    } else if (c < 0xF0) {
        cp = (static_cast<char32_t>(c & 0x0F) << 12) | (cont(1) << 6) | cont(2);
        n = 3;
    } else {
        cp = (static_cast<char32_t>(c & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
        n = 4;
    }
    pos += std::min(n, s.size() - pos);
    return cp;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string to_lower(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
            continue;
        }
        const size_t start = i;
        const char32_t cp = next_code_point(utf8, i);
        if (cp == 0x3A3 && ends_word(utf8, start, i)) {
            out.append("\xCF\x82");  // final sigma
            continue;
        }
        const auto* end = std::end(kLowerTable);
        const auto* it = std::lower_bound(std::begin(kLowerTable), end, cp,
                                          [](const LowerEntry& e, char32_t v) { return e.cp < v; });
        if (it != end && it->cp == cp) {
            out.append(it->lower);
        } else {
            out.append(utf8.substr(start, i - start));
        }
    }
    return out;
}

bool is_whitespace(char32_t cp) {
    switch (cp) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
        case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return cp >= 0x2000 && cp <= 0x200A;
    }
}

std::string_view trim(std::string_view s) {
    size_t begin = 0;
    while (begin < s.size()) {
        size_t next = begin;
        if (!is_whitespace(next_code_point(s, next))) break;
        begin = next;
    }
    size_t end = begin;
    for (size_t i = begin; i < s.size();) {
        const char32_t cp = next_code_point(s, i);
        if (!is_whitespace(cp)) end = i;
    }
    return s.substr(begin, end - begin);
}

std::vector<std::string_view> split_whitespace(std::string_view s, std::string_view extra) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i < s.size();) {
        const size_t at = i;
        const char32_t cp = next_code_point(s, i);
        const bool separator = is_whitespace(cp) || (cp < 0x80 && extra.find(static_cast<char>(cp)) != std::string_view::npos);
        if (separator) {
            if (at > start) pieces.push_back(s.substr(start, at - start));
            start = i;
        }
    }
    if (start < s.size()) pieces.push_back(s.substr(start));
    return pieces;
}

std::optional<double> parse_double(std::string_view s) {
    if (s.empty()) return std::nullopt;
    // from_chars rejects a leading "+", which the usual notation allows.
    std::string_view body = s;
    if (body.front() == '+') {
        body.remove_prefix(1);
        if (body.empty() || body.front() == '-' || body.front() == '+') return std::nullopt;
    }
    double value = 0;
    const auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ptr != body.data() + body.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Overflow reads as infinity, underflow as zero, as strtod does.
        std::string copy(body);
        return std::strtod(copy.c_str(), nullptr);
    }
    if (ec != std::errc()) return std::nullopt;
    return value;
}

std::optional<uint64_t> parse_u64(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace orv::text
