// Choosing how ExifTool runs for the rest of the process.
#pragma once

#include <string>

namespace orv {

enum class ExifToolMode {
    InProcess,  // a fresh interpreter of the system Perl library per run
    Resident,   // perl processes kept open between runs
};

// The first successful call records the ExifTool script and installs the
// mode's runner; later calls change nothing and report whether the mode in
// force works. In-process: true when the system Perl library is loaded
// (its absence is final, as the script is recorded either way). Resident:
// true when a resident starts and answers; when none can be started, nothing
// is recorded, so the caller may still choose the in-process mode.
bool initialise(const std::string& script, ExifToolMode mode);

}  // namespace orv
