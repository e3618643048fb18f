// orv-ql: the metadata core from the command line, through its C entry
// points only. For diagnostics, scripting and checks.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "exiftool_mode.hpp"
#include "orv_ql.h"
#include "own_location.hpp"
#include "replace_file.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: orv-ql [--resident] [--exiftool SCRIPT] inspect PATH...\n"
    "       orv-ql [--resident] [--exiftool SCRIPT] preview PATH [--orientation N] -o OUT.jpg\n"
    "       orv-ql [--resident] [--exiftool SCRIPT] zoom PATH CX CY W H [--orientation N] > OUT.ppm\n"
    "       orv-ql [--resident] [--exiftool SCRIPT] selftest\n"
    "\n"
    "  inspect    print the metadata summary of each file, one JSON envelope per line\n"
    "  preview    write the upright JPEG preview of a file (longer side 1800 px);\n"
    "             exit 1 and no file when it has none\n"
    "  zoom       write a W x H region of the upright full-size picture centred at\n"
    "             CX, CY (fractions 0 to 1 of its sides) as binary PPM on stdout;\n"
    "             where it lies on stderr; exit 1 and no output when it has none\n"
    "  selftest   run ExifTool's version query and describe the run\n"
    "\n"
    "  --exiftool SCRIPT   run ExifTool in-process through the system Perl library,\n"
    "                      from SCRIPT; \"bundled\" means the ExifTool installed with\n"
    "                      orv-ql, or the system's /usr/bin/exiftool. Without it,\n"
    "                      \"exiftool\" from PATH runs as a child.\n"
    "  --resident          keep ExifTool running between runs (perl SCRIPT -stay_open),\n"
    "                      for many files at once, falling back to in-process;\n"
    "                      SCRIPT defaults to \"bundled\"\n"
    "  --orientation N     EXIF orientation to turn the picture upright (default 1)\n"
    "  -h, --help          show this help\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "orv-ql: %s\n%s", message.c_str(), kUsage);
    return 2;
}

int run_inspect(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        char* envelope = orv_ql_inspect(path.c_str());
        std::printf("%s\n", envelope ? envelope : R"({"error":"The file couldn't be read"})");
        orv_ql_free_string(envelope);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int run_preview(const std::string& path, int64_t orientation, const std::string& out) {
    size_t length = 0;
    uint8_t* bytes = orv_ql_preview(path.c_str(), orientation, &length);
    if (!bytes) {
        std::fprintf(stderr, "orv-ql: no preview for %s\n", path.c_str());
        return 1;
    }
    const int err = orv::tools::replace_file(out, {reinterpret_cast<const char*>(bytes), length});
    orv_ql_free_bytes(bytes, length);
    if (err != 0) {
        std::fprintf(stderr, "orv-ql: cannot write %s: %s\n", out.c_str(), std::strerror(err));
        return 1;
    }
    return 0;
}

int run_zoom(const std::string& path, int64_t orientation, orv_ql_zoom_region region) {
    size_t length = 0;
    uint8_t* bytes = orv_ql_zoom(path.c_str(), orientation, &region, &length);
    if (!bytes) {
        std::fprintf(stderr, "orv-ql: no full-size picture for %s\n", path.c_str());
        return 1;
    }
    std::fprintf(stderr, "full=%ux%u region=%ux%u+%u+%u embedded=%s\n", region.full_width, region.full_height,
                 region.region_width, region.region_height, region.x, region.y, region.embedded ? "true" : "false");
    std::printf("P6\n%u %u\n255\n", region.region_width, region.region_height);
    const bool written = std::fwrite(bytes, 1, length, stdout) == length && std::fflush(stdout) == 0;
    orv_ql_free_bytes(bytes, length);
    return written ? 0 : 1;
}

int run_selftest() {
    char* text = orv_ql_selftest();
    std::printf("%s\n", text ? text : "failed: no result");
    orv_ql_free_string(text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    std::string exiftool;
    for (const auto& a : args) {
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    bool resident = false;
    while (i < args.size()) {
        if (args[i] == "--exiftool") {
            if (i + 1 >= args.size()) return usage_error("--exiftool needs a script path");
            exiftool = args[i + 1];
            i += 2;
        } else if (args[i] == "--resident") {
            resident = true;
            ++i;
        } else {
            break;
        }
    }
    if (resident && exiftool.empty()) exiftool = "bundled";
    if (i >= args.size()) return usage_error("missing command");
    const std::string command = args[i++];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());

    // Validate the whole command line before starting ExifTool.
    std::string out, path;
    int64_t orientation = 1;
    orv_ql_zoom_region region{};
    // "--orientation N" anywhere among the arguments; the others stay in order.
    const auto take_orientation = [&](std::vector<std::string>& words) -> std::string {
        for (size_t k = 0; k < words.size(); ++k) {
            if (words[k] != "--orientation") continue;
            if (k + 1 >= words.size()) return "--orientation needs a value";
            const std::string& v = words[k + 1];
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), orientation);
            if (ec != std::errc() || p != v.data() + v.size()) return "--orientation needs an integer, not \"" + v + "\"";
            words.erase(words.begin() + static_cast<long>(k), words.begin() + static_cast<long>(k) + 2);
            --k;
        }
        return "";
    };
    if (command == "inspect") {
        if (rest.empty()) return usage_error("inspect needs at least one PATH");
    } else if (command == "preview") {
        for (size_t k = 0; k < rest.size(); ++k) {
            const std::string& a = rest[k];
            if (a == "-o" || a == "--orientation") {
                if (k + 1 >= rest.size()) return usage_error(a + " needs a value");
                const std::string& v = rest[++k];
                if (a == "-o") {
                    out = v;
                } else {
                    const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), orientation);
                    if (ec != std::errc() || p != v.data() + v.size())
                        return usage_error("--orientation needs an integer, not \"" + v + "\"");
                }
            } else if (path.empty()) {
                path = a;
            } else {
                return usage_error("preview takes one PATH");
            }
        }
        if (path.empty()) return usage_error("preview needs a PATH");
        if (out.empty()) return usage_error("preview needs -o OUT.jpg");
    } else if (command == "zoom") {
        if (const std::string bad = take_orientation(rest); !bad.empty()) return usage_error(bad);
        if (rest.size() != 5) return usage_error("zoom takes PATH CX CY W H");
        path = rest[0];
        const auto number = [](const std::string& v, auto& into) {
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), into);
            return ec == std::errc() && p == v.data() + v.size();
        };
        if (!number(rest[1], region.centre_x) || !number(rest[2], region.centre_y) || !number(rest[3], region.width) ||
            !number(rest[4], region.height)) {
            return usage_error("zoom needs numbers for CX CY W H");
        }
    } else if (command == "selftest") {
        if (!rest.empty()) return usage_error("selftest takes no arguments");
    } else {
        return usage_error("unknown command \"" + command + "\"");
    }

    if (!exiftool.empty()) {
        const std::string script = exiftool == "bundled" ? orv::tools::exiftool_script().string() : exiftool;
        using orv::tools::ExifToolMode;
        const auto start = orv::tools::start_exiftool(resident ? ExifToolMode::Resident : ExifToolMode::InProcess, script);
        if (!start.note.empty()) std::fprintf(stderr, "orv-ql: %s\n", start.note.c_str());
    }

    if (command == "inspect") return run_inspect(rest);
    if (command == "preview") return run_preview(path, orientation, out);
    if (command == "zoom") return run_zoom(path, orientation, region);
    return run_selftest();
}
