// UTF-8 text helpers shared by the core: validation, lossy decoding, full
// Unicode lower-casing and white-space trimming.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::text {

bool is_valid_utf8(std::string_view bytes);

// Decodes bytes as UTF-8, replacing every maximal invalid sequence with
// U+FFFD, so the result is always valid UTF-8.
std::string utf8_lossy(std::string_view bytes);

// The length of the longest prefix of valid UTF-8 `bytes` that is at most
// `limit` bytes and ends on a character boundary.
size_t utf8_prefix_length(std::string_view bytes, size_t limit);

// Decodes the code point starting at bytes[pos] of valid UTF-8 and advances
// pos past it.
char32_t next_code_point(std::string_view utf8, size_t& pos);
void append_utf8(std::string& out, char32_t cp);

// Full Unicode lower-casing in the root locale, by ICU: one code point may
// become several, and a capital sigma ending a word takes the final form.
// Bytes that are not UTF-8 come out as U+FFFD.
std::string to_lower(std::string_view utf8);

// Unicode White_Space property.
bool is_whitespace(char32_t cp);
std::string_view trim(std::string_view utf8);

// The non-empty runs between Unicode white space (and, when given, between
// any of the extra ASCII separators).
std::vector<std::string_view> split_whitespace(std::string_view utf8, std::string_view extra_separators = {});

// Parses text as a floating-point number in the usual decimal notation
// (optional sign, fraction, exponent; "inf" and "nan" too). The whole text
// must be consumed.
std::optional<double> parse_double(std::string_view s);

// Parses an unsigned decimal integer with one optional leading "+".
std::optional<uint64_t> parse_u64(std::string_view s);

}  // namespace orv::text
