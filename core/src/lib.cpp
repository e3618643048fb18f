// The C entry points. Each validates and copies its arguments, hands the
// work to its module, and turns every internal failure into its documented
// ordinary result; nothing escapes across the C boundary.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "exiftool/command.hpp"
#include "exiftool/init.hpp"
#include "exiftool/lane.hpp"
#include "exiftool/resident.hpp"
#include "metadata/inspect.hpp"
#include "metadata/record.hpp"
#include "orv_ql.h"
#include "preview/preview.hpp"
#include "preview/zoom.hpp"
#include "selftest.hpp"
#include "text.hpp"

namespace {

// Far beyond any thumbnail a file manager asks for (1024 at most).
constexpr uint32_t kMaxThumbnailSide = 4096;

// The largest side of a zoomed region asked for: more than any screen shows.
constexpr uint32_t kMaxZoomSide = 8192;

bool valid_fraction(double f) { return !std::isnan(f) && f >= 0 && f <= 1; }

// Copies a C argument when it is present and valid UTF-8.
std::optional<std::string> utf8_argument(const char* p) {
    if (!p) return std::nullopt;
    std::string s(p);
    if (!orv::text::is_valid_utf8(s)) return std::nullopt;
    return s;
}

// What a text-returning entry point gives when the text cannot be
// allocated: still a text, as the header promises, owned by the core, and
// ignored by orv_ql_free_string.
char kInspectOutOfMemory[] = R"({"error":"out of memory"})";
char kSelftestOutOfMemory[] = "failed: out of memory";

// Hands a text out as a NUL-terminated string owned by the caller (released
// with orv_ql_free_string), or `fallback` when it cannot be allocated. Inner
// NULs are dropped.
char* into_c_string(const std::string& text, char* fallback) {
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (!out) return fallback;
    size_t n = 0;
    for (char c : text) {
        if (c != '\0') out[n++] = c;
    }
    out[n] = '\0';
    return out;
}

// A picture entry point's work: make(path) for a valid UTF-8 path, its bytes
// handed out as a buffer owned by the caller (released with
// orv_ql_free_bytes) and their count stored through out_length. Null for a
// bad path, no picture, or any failure.
template <typename Make>
uint8_t* picture_bytes(const char* path, size_t* out_length, const Make& make) {
    orv::begin_call();
    try {
        const auto p = utf8_argument(path);
        if (!p) return nullptr;
        const std::optional<std::vector<uint8_t>> bytes = make(*p);
        if (!bytes || bytes->empty()) return nullptr;
        auto* out = static_cast<uint8_t*>(std::malloc(bytes->size()));
        if (!out) return nullptr;
        std::memcpy(out, bytes->data(), bytes->size());
        *out_length = bytes->size();
        return out;
    } catch (...) {
        return nullptr;
    }
}

// Both initialisations: a valid UTF-8 path, or false and nothing changes.
bool initialise(const char* path, orv::ExifToolMode mode) {
    try {
        const auto script = utf8_argument(path);
        return script && orv::initialise(*script, mode);
    } catch (...) {
        return false;
    }
}

}  // namespace

extern "C" {

bool orv_ql_init(const char* path) {
    return initialise(path, orv::ExifToolMode::InProcess);
}

bool orv_ql_init_resident(const char* path) {
    return initialise(path, orv::ExifToolMode::Resident);
}

bool orv_ql_init_child(const char* path) {
    return initialise(path, orv::ExifToolMode::Child);
}

void orv_ql_run_as_prefetch(bool prefetch) {
    orv::set_current_lane(prefetch ? orv::Lane::Prefetch : orv::Lane::Request);
}

void orv_ql_abandon_requests(void) {
    try {
        orv::resident::abandon_requests();
    } catch (...) {
        // Abandoning is best effort: the runs then end on their own.
    }
}

char* orv_ql_inspect(const char* path) {
    std::string envelope;
    orv::begin_call();
    try {
        const auto p = utf8_argument(path);
        envelope = orv::envelope_json(p ? orv::inspect(*p) : orv::InspectResult(orv::fail(std::string("No file"))));
    } catch (...) {
        envelope = R"({"error":"The file couldn't be read"})";
    }
    return into_c_string(envelope, kInspectOutOfMemory);
}

uint8_t* orv_ql_preview(const char* path, int64_t orientation, size_t* out_length) {
    if (!out_length) return nullptr;
    return picture_bytes(path, out_length, [&](const std::string& p) { return orv::preview_jpeg(p, orientation); });
}

uint8_t* orv_ql_thumbnail(const char* path, uint32_t size, size_t* out_length) {
    if (!out_length || size == 0 || size > kMaxThumbnailSide) return nullptr;
    return picture_bytes(path, out_length, [&](const std::string& p) { return orv::thumbnail_jpeg(p, size); });
}

uint8_t* orv_ql_zoom(const char* path, int64_t orientation, orv_ql_zoom_region* region, size_t* out_length) {
    if (!region || !out_length || region->width == 0 || region->width > kMaxZoomSide || region->height == 0 ||
        region->height > kMaxZoomSide || !valid_fraction(region->centre_x) || !valid_fraction(region->centre_y)) {
        return nullptr;
    }
    orv::begin_call();
    try {
        const auto p = utf8_argument(path);
        if (!p) return nullptr;
        auto z = orv::preview::zoom(*p, orientation, {region->centre_x, region->centre_y, region->width, region->height});
        if (!z) return nullptr;
        // The picture's buffer comes from malloc: handed over as it is.
        *out_length = z->picture.byte_count();
        region->full_width = z->full.width;
        region->full_height = z->full.height;
        region->x = z->region.x;
        region->y = z->region.y;
        region->region_width = z->region.width;
        region->region_height = z->region.height;
        region->embedded = z->embedded;
        return z->picture.rgb.release();
    } catch (...) {
        return nullptr;
    }
}

char* orv_ql_selftest(void) {
    try {
        auto run = orv::exiftool_command().arg("-ver").output();
        return into_c_string(orv::describe_selftest(run), kSelftestOutOfMemory);
    } catch (const std::bad_alloc&) {
        // Still a text, and nothing thrown may reach a C caller.
        return kSelftestOutOfMemory;
    } catch (...) {
        return into_c_string("failed: exiftool could not be run", kSelftestOutOfMemory);
    }
}

void orv_ql_free_string(char* text) {
    if (text == kInspectOutOfMemory || text == kSelftestOutOfMemory) return;
    std::free(text);
}

void orv_ql_free_bytes(uint8_t* bytes, size_t length) {
    // A zero length is ignored: no buffer of ours is empty, and a caller may
    // hold a pointer that is not ours with a length of 0.
    if (length == 0) return;
    std::free(bytes);
}

}  // extern "C"
