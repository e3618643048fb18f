// A resident ExifTool: one perl process per configuration, kept open in
// ExifTool's own "-stay_open True -@ -" mode and fed one command at a time,
// so that ExifTool compiles itself once instead of for every run.
//
// Each run has the same contract as a child or in-process run: exit status,
// standard output, standard error, or an I/O error when the run could not
// take place. A resident that dies mid-run, answers something that is not
// ExifTool's answer or overstays run_deadline() is killed and reaped; that
// run fails, and the next one starts a fresh resident. Only a resident found
// dead before the run was handed to it is replaced and the run tried again,
// once. A resident idle for idle_exit() leaves. None outlives its host, even
// one killed with SIGKILL.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "exiftool/command.hpp"

namespace orv::resident {

// The runner: args are the script path, optionally "-config" and a config
// file, then the command's own arguments. Runs sharing script and config go
// to the same resident, one after another. A command whose arguments no
// argument-file line can carry runs as a child process instead.
RunResult run_exiftool(const std::vector<std::string>& args);

// Starts (or reuses) the resident for `script` without a config and asks
// it for ExifTool's version. True when it answers with success.
bool answers(const std::string& script);

// Resident processes alive now.
size_t live_count();

// How long a resident may sit idle before it leaves (5 minutes unless a
// test changed it).
std::chrono::milliseconds idle_exit();
void set_idle_exit_for_testing(std::chrono::milliseconds idle);

}  // namespace orv::resident
