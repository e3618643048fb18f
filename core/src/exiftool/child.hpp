// Running ExifTool as a child process.
#pragma once

#include <string>
#include <vector>

#include "exiftool/command.hpp"

namespace orv {

// Runs program (looked up on PATH when it has no slash) with args, standard
// input from /dev/null, both output streams captured. No shell is involved.
// A run that outlasts run_deadline() is killed and fails. The look config's
// descriptor, when there is one, stays open in the child, so that its
// "/dev/fd" name reads the same there.
RunResult run_child(const std::string& program, const std::vector<std::string>& args);

// The error of a run that outlasted run_deadline(): its process is killed.
IoError deadline_error();

}  // namespace orv
