// A resident ExifTool: one perl process per configuration and lane, kept
// open in ExifTool's own "-stay_open True -@ -" mode and fed one command at
// a time, so that ExifTool compiles itself once instead of for every run.
//
// Each run has the same contract as a child or in-process run: exit status,
// standard output, standard error, or an I/O error when the run could not
// take place. A resident that dies mid-run, answers something that is not
// ExifTool's answer, overstays its lane's deadline or passes its limits is
// killed and reaped; that run fails ("too large or too complex to read" for
// the limits), and the next one starts a fresh resident. One found dead or
// stopped before a run is handed to it is replaced first. A resident idle
// for the idle limit leaves. None outlives its host, even one killed with
// SIGKILL. Prefetch runs go to residents of their own (lane.hpp).
#pragma once

#include <cstddef>
#include <string>

#include "exiftool/command.hpp"

namespace orv::resident {

// The runner. A command whose arguments no argument-file line can carry
// runs as a child process instead.
RunResult run_exiftool(const ExifToolRun& run);

// Starts the resident for `script` without a config, if none runs, and
// asks it for ExifTool's version: true when it answers with success.
bool start_and_check(const std::string& script);

// Starts the resident that loads `config` ahead of its first run, without
// waiting for it.
void prestart(const std::string& script, const LookConfig& config);

// Makes every request run in progress or waiting fail now (lane.hpp).
void abandon_requests();

// Resident processes alive now.
size_t live_count();

// The limits changed (tests): idle residents are looked at again.
void limits_changed();

}  // namespace orv::resident
