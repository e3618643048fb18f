// How the programs run ExifTool: one choice, one fallback order, and a
// result they can print.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv::tools {

enum class ExifToolMode {
    Resident,   // perl processes kept open between runs (the fastest)
    InProcess,  // the system Perl library inside this process
    Child,      // a perl child process per run: every run can be stopped
    Path,       // "exiftool" from PATH, a process per run; no initialisation
};

// "resident", "in-process", "child" (ExifTool from PATH, as a user's own
// installation or a test's stand-in); nothing for any other text.
std::optional<ExifToolMode> parse_exiftool_mode(std::string_view setting);

struct ExifToolStart {
    ExifToolMode mode;  // the mode in force
    bool ready;         // whether ExifTool can run in it
    std::string note;   // what the user should know (a fallback), or empty
};

// Initialises the core for `wanted` with `script`. A resident that cannot
// start falls back to in-process, saying so in the note; an in-process
// failure is final for the process (the core has then recorded the script).
ExifToolStart start_exiftool(ExifToolMode wanted, const std::string& script);

}  // namespace orv::tools
