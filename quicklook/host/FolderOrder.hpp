// The order a file manager shows a folder in, and a shown file's neighbours
// in it, so the previewer can load the file an arrow key asks for next
// before it is asked. GNOME Files sorts by name by default, numbers in names
// compared as numbers ("IMG_2" before "IMG_10"), with GLib's own key for file
// names; hidden files (a leading ".") are not shown. Any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv::ui::host::FolderOrder {

// The key a name sorts by: keys in byte order are names in display order.
// A name that is not UTF-8 sorts by the name shown for it.
std::string sortKey(const std::string& name);

struct Neighbours {
    std::optional<std::filesystem::path> before, after;
};

// The nearest file on each side of `file` in its folder's order that
// `accept` takes (it is asked about as few files as it can be). The file
// itself need not be listed, nor even exist.
Neighbours neighboursOf(const std::filesystem::path& file,
                        const std::function<bool(const std::filesystem::path&)>& accept);

}  // namespace orv::ui::host::FolderOrder
