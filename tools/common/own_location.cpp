#include "own_location.hpp"

namespace orv::tools {

namespace fs = std::filesystem;

std::optional<fs::path> own_executable() {
    std::error_code ec;
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    return executable;
}

fs::path bundled_exiftool() {
    const auto executable = own_executable();
    if (!executable) return {};
    return executable->parent_path().parent_path() / "share" / "orvanta" / "exiftool" / "exiftool";
}

}  // namespace orv::tools
