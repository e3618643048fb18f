#include "exiftool_mode.hpp"

#include "orv_ql.h"

namespace orv::tools {

std::optional<ExifToolMode> parse_exiftool_mode(std::string_view setting) {
    if (setting == "resident") return ExifToolMode::Resident;
    if (setting == "in-process") return ExifToolMode::InProcess;
    if (setting == "child") return ExifToolMode::Path;
    return std::nullopt;
}

ExifToolStart start_exiftool(ExifToolMode wanted, const std::string& script) {
    switch (wanted) {
        case ExifToolMode::Path: return {wanted, true, ""};
        case ExifToolMode::Child: {
            const bool ok = orv_ql_init_child(script.c_str());
            return {wanted, ok, ok ? "" : "cannot run ExifTool: /usr/bin/perl cannot be started"};
        }
        case ExifToolMode::Resident:
            if (orv_ql_init_resident(script.c_str())) return {wanted, true, ""};
            break;
        case ExifToolMode::InProcess: break;
    }
    std::string note;
    if (wanted == ExifToolMode::Resident) {
        note = "ExifTool could not be kept running (/usr/bin/perl " + script + " -stay_open); it runs in-process instead";
    }
    const bool ok = orv_ql_init(script.c_str());
    if (!ok) {
        if (!note.empty()) note += "; ";
        note += "cannot run ExifTool in-process from " + script + ": system Perl library not loaded";
    }
    return {ExifToolMode::InProcess, ok, note};
}

}  // namespace orv::tools
