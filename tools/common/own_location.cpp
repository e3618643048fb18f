#include "own_location.hpp"

namespace orv::tools {

namespace fs = std::filesystem;

std::optional<fs::path> own_executable() {
    std::error_code ec;
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::nullopt;
    return executable;
}

fs::path exiftool_script() {
    const auto executable = own_executable();
    if (!executable) return {};
    const fs::path beside = executable->parent_path().parent_path() / "share" / "orvanta" / "exiftool" / "exiftool";
    const fs::path system = "/usr/bin/exiftool";
    std::error_code ec;
    if (!fs::is_regular_file(beside, ec) && fs::is_regular_file(system, ec)) return system;
    return beside;
}

}  // namespace orv::tools
