// Where the system Perl library lives.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include "exiftool/perl.hpp"
#include "text.hpp"

namespace orv::perl {
namespace {

#if defined(__APPLE__)
constexpr const char* kScanDir = "/System/Library/Perl";
constexpr const char* kFallbackLibrary = "/System/Library/Perl/5.34/darwin-thread-multi-2level/CORE/libperl.dylib";

std::string library_for_version(const std::string& scan_dir, const std::string& name) {
    return scan_dir + "/" + name + "/darwin-thread-multi-2level/CORE/libperl.dylib";
}
#else
#ifndef ORVQL_MULTIARCH
#error "ORVQL_MULTIARCH (the Debian multiarch triplet) must be defined"
#endif
// Debian keeps one folder per installed Perl version under the multiarch
// library folder; the shared library sits beside it, named after the version.
#define ORVQL_LIB_DIR "/usr/lib/" ORVQL_MULTIARCH
constexpr const char* kScanDir = ORVQL_LIB_DIR "/perl";
constexpr const char* kFallbackLibrary = ORVQL_LIB_DIR "/libperl.so.5.36";

std::string library_for_version(const std::string&, const std::string& name) {
    return ORVQL_LIB_DIR "/libperl.so." + name;
}
#endif

struct SearchOverride {
    std::mutex mutex;
    std::optional<std::string> scan_dir;
    std::optional<std::string> fallback;
};

SearchOverride& search_override() {
    static SearchOverride o;
    return o;
}

// "5.36.0" -> {5, 36, 0}. Every dot-separated part must be a 32-bit unsigned
// decimal number, optionally led by one "+"; anything else is not a version.
std::optional<std::vector<uint32_t>> parse_version(const std::string& name) {
    std::vector<uint32_t> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = std::min(name.find('.', start), name.size());
        const auto value = text::parse_u64(std::string_view(name).substr(start, dot - start));
        if (!value || *value > UINT32_MAX) return std::nullopt;
        parts.push_back(static_cast<uint32_t>(*value));
        if (dot == name.size()) return parts;
        start = dot + 1;
    }
}

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

}  // namespace

std::vector<std::string> rank_version_names(const std::vector<std::string>& names) {
    std::vector<std::pair<std::vector<uint32_t>, std::string>> versions;
    for (const auto& name : names) {
        if (auto v = parse_version(name)) versions.emplace_back(std::move(*v), name);
    }
    std::stable_sort(versions.begin(), versions.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> ranked;
    for (auto& v : versions) ranked.push_back(std::move(v.second));
    return ranked;
}

std::vector<std::string> candidate_libraries() {
    std::string scan_dir = kScanDir;
    std::string fallback = kFallbackLibrary;
    {
        SearchOverride& o = search_override();
        std::lock_guard lock(o.mutex);
        if (o.scan_dir) scan_dir = *o.scan_dir;
        if (o.fallback) fallback = *o.fallback;
    }
    std::vector<std::string> candidates;
    for (const auto& name : rank_version_names(list_dir(scan_dir))) {
        candidates.push_back(library_for_version(scan_dir, name));
    }
    candidates.push_back(fallback);
    return candidates;
}

void set_scan_dir_for_testing(const std::string& dir) {
    SearchOverride& o = search_override();
    std::lock_guard lock(o.mutex);
    o.scan_dir = dir;
}

void set_fallback_library_for_testing(const std::string& path) {
    SearchOverride& o = search_override();
    std::lock_guard lock(o.mutex);
    o.fallback = path;
}

}  // namespace orv::perl
