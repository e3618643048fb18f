#include "FolderOrder.hpp"

#include <algorithm>
#include <memory>
#include <system_error>

#include <glib.h>

namespace orv::ui::host::FolderOrder {

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string key;
    std::string name;
    // Equal keys (names that differ only in ways the locale ignores) keep
    // one fixed order.
    friend bool operator<(const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    }
};

bool isHidden(const std::string& name) { return name.empty() || name.front() == '.'; }

// The folder's shown entries but `leaveOut`, in display order.
std::vector<Entry> sortedEntries(const fs::path& folder, const std::string& leaveOut) {
    std::vector<Entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().native();
        if (isHidden(name) || name == leaveOut) continue;
        entries.push_back(Entry{sortKey(name), std::move(name)});
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

std::string sortKey(const std::string& name) {
    const std::unique_ptr<gchar, decltype(&g_free)> shown(g_filename_display_name(name.c_str()), &g_free);
    const std::unique_ptr<gchar, decltype(&g_free)> key(g_utf8_collate_key_for_filename(shown.get(), -1), &g_free);
    return key ? std::string(key.get()) : std::string();
}

Neighbours neighboursOf(const fs::path& file, const std::function<bool(const fs::path&)>& accept) {
    const fs::path folder = file.parent_path();
    const std::string name = file.filename().native();
    if (name.empty()) return {};
    const std::vector<Entry> entries = sortedEntries(folder, name);
    const auto place = std::lower_bound(entries.begin(), entries.end(), Entry{sortKey(name), name});
    Neighbours near;
    for (auto it = place; it != entries.end() && !near.after; ++it)
        if (accept(folder / it->name)) near.after = folder / it->name;
    for (auto it = place; it != entries.begin() && !near.before;) {
        --it;
        if (accept(folder / it->name)) near.before = folder / it->name;
    }
    return near;
}

}  // namespace orv::ui::host::FolderOrder
