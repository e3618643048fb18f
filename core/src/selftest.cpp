#include "selftest.hpp"

#include <cstdio>

#include "text.hpp"

namespace orv {
namespace {

bool is_printable(char32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return false;  // control characters
    switch (cp) {                                                 // separators and format characters
        case 0xA0: case 0xAD: case 0x61C: case 0x6DD: case 0x70F: case 0x180E:
        case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
        case 0x3000: case 0xFEFF:
            return false;
        default:
            break;
    }
    if (cp >= 0x600 && cp <= 0x605) return false;
    if (cp >= 0x2000 && cp <= 0x200F) return false;
    if (cp >= 0x202A && cp <= 0x202E) return false;
    if (cp >= 0x2060 && cp <= 0x206F) return false;
    if (cp >= 0xFFF9 && cp <= 0xFFFB) return false;
    if (cp >= 0xE000 && cp <= 0xF8FF) return false;   // private use
    if (cp >= 0xFDD0 && cp <= 0xFDEF) return false;   // noncharacters
    if ((cp & 0xFFFE) == 0xFFFE) return false;
    if (cp >= 0xF0000) return false;                  // private use planes
    return true;
}

}  // namespace

std::string debug_quote(std::string_view s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const size_t start = i;
        const char32_t cp = text::next_code_point(s, i);
        switch (cp) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            case '\n': out += "\\n"; continue;
            case 0: out += "\\0"; continue;
            default: break;
        }
        if (is_printable(cp)) {
            out.append(s.substr(start, i - start));
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(cp));
            out += buf;
        }
    }
    out += '"';
    return out;
}

std::string describe_selftest(const RunResult& run) {
    if (!run) return "failed: " + run.error().message;
    const RunOutput& r = run.value();
    const auto code = r.exit_code();
    std::string status = code ? "Some(" + std::to_string(*code) + ")" : "None";
    const std::string out = text::utf8_lossy(r.out);
    const std::string err = text::utf8_lossy(r.err);
    return "status=" + status + " out=" + debug_quote(text::trim(out)) + " err=" + debug_quote(text::trim(err));
}

}  // namespace orv
