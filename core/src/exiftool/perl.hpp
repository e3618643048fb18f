// The embedded Perl host: ExifTool runs inside this process, in a fresh
// interpreter from the system Perl library, with its output captured.
// Finding the library: perl_library.cpp; its entry points: perl_interpreter;
// what a run must give back to the host: perl_host_state; where the output
// goes: perl_capture; the run itself: perl_run.cpp.
#pragma once

#include <string>
#include <vector>

#include "exiftool/command.hpp"

namespace orv::perl {

// Library paths to try, highest Perl version first, the fixed fallback last.
std::vector<std::string> candidate_libraries();

// The names among `names` that read as dot-separated version numbers, highest
// version first; equal versions keep their order in `names`.
std::vector<std::string> rank_version_names(const std::vector<std::string>& names);

// Whether the system Perl library is loaded; the first call loads it, and the
// outcome (found or not) is kept for the life of the process.
bool loaded();

// The in-process runner: args are the script path followed by its arguments.
RunResult run_exiftool(const std::vector<std::string>& args);

// Test seams: the folder scanned for Perl version folders and the fixed
// fallback library, in place of the system's. They affect later calls of
// candidate_libraries, and the load only while it has not happened yet.
void set_scan_dir_for_testing(const std::string& dir);
void set_fallback_library_for_testing(const std::string& path);

}  // namespace orv::perl
