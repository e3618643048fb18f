// What a file manager's URI names: a file on this computer, or something the
// previewer cannot open (another computer, the Trash, a search result), with
// the name to title its panel and the words that tell the user why.
#pragma once

#include <filesystem>
#include <variant>

#include <QString>

namespace orv::ui::host {

struct LocalFile {
    std::filesystem::path path;
};

struct UnreachableFile {
    std::filesystem::path name;  // what the panel's title is made from
    QString message;
};

using UriTarget = std::variant<LocalFile, UnreachableFile>;

// file:// URIs (no host, or "localhost") become paths with their percent
// escapes decoded byte for byte, so names in any encoding come through; an
// absolute path is taken as it is. Anything else is unreachable.
UriTarget resolveUri(const QString& uri);

}  // namespace orv::ui::host
