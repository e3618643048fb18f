#include "own_location.hpp"

namespace orv::tools {

namespace fs = std::filesystem;

std::optional<fs::path> own_executable() {
    std::error_code ec;
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    return executable;
}

fs::path bundled_exiftool(const fs::path& executable) {
    return executable.parent_path().parent_path() / "share" / "orvanta" / "exiftool" / "exiftool";
}

fs::path own_bundled_exiftool() {
    const auto executable = own_executable();
    return executable ? bundled_exiftool(*executable) : fs::path();
}

}  // namespace orv::tools
