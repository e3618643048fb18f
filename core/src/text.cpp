#include "text.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include <unicode/ustring.h>

namespace orv::text {
namespace {

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

// Runs an ICU conversion twice: first to learn the length of its result,
// then into a buffer of that length. Empty when ICU fails.
template <typename Char, typename Convert>
std::basic_string<Char> icu_convert(const Convert& convert) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = convert(nullptr, 0, status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) return {};
    std::basic_string<Char> out(static_cast<size_t>(length), Char{});
    status = U_ZERO_ERROR;
    convert(out.data(), length, status);
    return U_FAILURE(status) ? std::basic_string<Char>{} : out;
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
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string out(utf8);
        for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        return out;
    }
    // ICU maps UTF-16. The root locale ("") applies no language's own rules
    // (Turkish dotless i, Lithuanian dots), while final sigma is part of
    // full lower-casing whatever the locale.
    const std::string valid = utf8_lossy(utf8);
    const auto wide = icu_convert<char16_t>([&](char16_t* out, int32_t capacity, UErrorCode& status) {
        int32_t length = 0;
        u_strFromUTF8(out, capacity, &length, valid.data(), static_cast<int32_t>(valid.size()), &status);
        return length;
    });
    const auto lower = icu_convert<char16_t>([&](char16_t* out, int32_t capacity, UErrorCode& status) {
        return u_strToLower(out, capacity, wide.data(), static_cast<int32_t>(wide.size()), "", &status);
    });
    return icu_convert<char>([&](char* out, int32_t capacity, UErrorCode& status) {
        int32_t length = 0;
        u_strToUTF8(out, capacity, &length, lower.data(), static_cast<int32_t>(lower.size()), &status);
        return length;
    });
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

size_t utf8_prefix_length(std::string_view bytes, size_t limit) {
    if (bytes.size() <= limit) return bytes.size();
    size_t end = limit;
    // Back off the continuation bytes (10xxxxxx) of a character cut in two.
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    return end;
}

}  // namespace orv::text
