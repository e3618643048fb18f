// The embedded Perl host: ExifTool runs inside this process, in a fresh
// interpreter from the system Perl library, with its output captured.
#pragma once

#include <string>
#include <vector>

#include "exiftool_bin.hpp"

namespace orv::perl {

// Library paths to try, highest Perl version first, the fixed fallback last.
std::vector<std::string> candidate_libraries();

// Whether the system Perl library is loaded; the first call loads it, and the
// outcome (found or not) is kept for the life of the process.
bool loaded();

// The in-process runner: args are the script path followed by its arguments.
RunResult run_exiftool(const std::vector<std::string>& args);

}  // namespace orv::perl
