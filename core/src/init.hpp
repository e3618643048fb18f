// Switching ExifTool runs to the in-process Perl host.
#pragma once

#include <string>

namespace orv {

// Records the ExifTool script (first call wins), installs the in-process
// runner and loads the system Perl library once per process. True when the
// library is loaded.
bool initialise(const std::string& script);

}  // namespace orv
