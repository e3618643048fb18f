// Choosing how ExifTool runs for the rest of the process.
#pragma once

#include <string>

#include "exiftool/state.hpp"

namespace orv {

// The first successful call records the ExifTool script and installs the
// mode's runner; later calls change nothing and report whether the mode in
// force works. In-process: true when the system Perl library is loaded
// (its absence is final, as the script is recorded either way). Resident:
// true when a resident starts and answers; when none can be started, nothing
// is recorded, so the caller may still choose another mode; the resident
// with the look config starts at once, in the background. Child: true when
// /usr/bin/perl can be run; otherwise nothing is recorded.
bool initialise(const std::string& script, ExifToolMode mode);

}  // namespace orv
