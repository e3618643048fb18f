// The C entry points. Each validates and copies its arguments, hands the
// work to its module, and turns every internal failure into its documented
// ordinary result; nothing escapes across the C boundary.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "exiftool/command.hpp"
#include "exiftool/init.hpp"
#include "metadata/inspect.hpp"
#include "orv_ql.h"
#include "preview/preview.hpp"
#include "metadata/record.hpp"
#include "selftest.hpp"
#include "text.hpp"

namespace {

// Far beyond any thumbnail a file manager asks for (1024 at most).
constexpr uint32_t kMaxThumbnailSide = 4096;

// Copies a C argument when it is present and valid UTF-8.
std::optional<std::string> utf8_argument(const char* p) {
    if (!p) return std::nullopt;
    std::string s(p);
    if (!orv::text::is_valid_utf8(s)) return std::nullopt;
    return s;
}

// Hands a text out as a NUL-terminated string owned by the caller (released
// with orv_ql_free_string). Inner NULs are dropped.
char* into_c_string(const std::string& text) {
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (!out) return nullptr;
    size_t n = 0;
    for (char c : text) {
        if (c != '\0') out[n++] = c;
    }
    out[n] = '\0';
    return out;
}

}  // namespace

extern "C" {

bool orv_ql_init(const char* path) {
    try {
        const auto script = utf8_argument(path);
        if (!script) return false;
        return orv::initialise(*script, orv::ExifToolMode::InProcess);
    } catch (...) {
        return false;
    }
}

bool orv_ql_init_resident(const char* path) {
    try {
        const auto script = utf8_argument(path);
        if (!script) return false;
        return orv::initialise(*script, orv::ExifToolMode::Resident);
    } catch (...) {
        return false;
    }
}

char* orv_ql_inspect(const char* path) {
    std::string envelope;
    try {
        const auto p = utf8_argument(path);
        envelope = orv::envelope_json(p ? orv::inspect(*p) : orv::InspectResult(orv::fail(std::string("No file"))));
    } catch (...) {
        envelope = R"({"error":"The file couldn't be read"})";
    }
    return into_c_string(envelope);
}

uint8_t* orv_ql_preview(const char* path, int64_t orientation, size_t* out_length) {
    try {
        const auto p = utf8_argument(path);
        if (!p) return nullptr;
        auto jpeg = orv::preview_jpeg(*p, orientation);
        if (!jpeg || !out_length || jpeg->empty()) return nullptr;
        auto* bytes = static_cast<uint8_t*>(std::malloc(jpeg->size()));
        if (!bytes) return nullptr;
        std::memcpy(bytes, jpeg->data(), jpeg->size());
        *out_length = jpeg->size();
        return bytes;
    } catch (...) {
        return nullptr;
    }
}

uint8_t* orv_ql_thumbnail(const char* path, uint32_t size, size_t* out_length) {
    try {
        const auto p = utf8_argument(path);
        if (!p || !out_length || size == 0 || size > kMaxThumbnailSide) return nullptr;
        auto jpeg = orv::thumbnail_jpeg(*p, size);
        if (!jpeg || jpeg->empty()) return nullptr;
        auto* bytes = static_cast<uint8_t*>(std::malloc(jpeg->size()));
        if (!bytes) return nullptr;
        std::memcpy(bytes, jpeg->data(), jpeg->size());
        *out_length = jpeg->size();
        return bytes;
    } catch (...) {
        return nullptr;
    }
}

char* orv_ql_selftest(void) {
    try {
        auto run = orv::exiftool_command().arg("-ver").output();
        return into_c_string(orv::describe_selftest(run));
    } catch (const std::bad_alloc&) {
        // Still a text, and nothing thrown may reach a C caller.
        return ::strdup("failed: out of memory");
    } catch (...) {
        return ::strdup("failed: exiftool could not be run");
    }
}

void orv_ql_free_string(char* text) {
    std::free(text);
}

void orv_ql_free_bytes(uint8_t* bytes, size_t length) {
    if (!bytes || length == 0) return;
    std::free(bytes);
}

}  // extern "C"
