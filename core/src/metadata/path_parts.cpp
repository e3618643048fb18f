#include "metadata/path_parts.hpp"

namespace orv {
namespace {

struct NamePos {
    size_t start;
    size_t length;
};

// Where the final normal component sits in the text.
std::optional<NamePos> locate_name(std::string_view path) {
    size_t end = path.size();
    while (end > 0) {
        const size_t slash = path.rfind('/', end - 1);
        const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == ".") {
            if (start == 0) return std::nullopt;
            end = start - 1;
            continue;
        }
        if (part == "..") return std::nullopt;
        return NamePos{start, part.size()};
    }
    return std::nullopt;
}

// Length of the stem: the name up to its last dot, unless that dot is the
// first character.
size_t stem_length(std::string_view name) {
    const size_t dot = name.rfind('.');
    return (dot == std::string_view::npos || dot == 0) ? name.size() : dot;
}

}  // namespace

std::optional<std::string_view> file_name(std::string_view path) {
    const auto pos = locate_name(path);
    if (!pos) return std::nullopt;
    return path.substr(pos->start, pos->length);
}

std::optional<std::string_view> file_extension(std::string_view path) {
    const auto name = file_name(path);
    if (!name) return std::nullopt;
    const size_t stem = stem_length(*name);
    if (stem == name->size()) return std::nullopt;
    return name->substr(stem + 1);
}

std::string sidecar_path(std::string_view path) {
    const auto pos = locate_name(path);
    if (!pos) return std::string(path);
    const size_t stem = stem_length(path.substr(pos->start, pos->length));
    return std::string(path.substr(0, pos->start + stem)) + ".xmp";
}

}  // namespace orv
