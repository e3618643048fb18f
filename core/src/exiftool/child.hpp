// Running ExifTool as a child process, one per run.
#pragma once

#include <string>
#include <vector>

#include "exiftool/command.hpp"

namespace orv {

// Runs program (looked up on PATH when it has no slash) with args, standard
// input from /dev/null, both output streams captured. No shell is involved.
// The child is started clean (spawn.hpp) under the process's limits; a run
// that outlasts its lane's deadline is killed and fails. The look config's
// descriptor, when there is one, stays open in the child at its number, so
// that its "/dev/fd" name reads the same there.
RunResult run_child(const std::string& program, const std::vector<std::string>& args);

// The runner that starts "/usr/bin/perl SCRIPT ..." for every run.
RunResult run_perl_child(const ExifToolRun& run);

}  // namespace orv
