// What the core keeps for the life of the process: where ExifTool is and
// how it runs, the camera-look config, and the system Perl library. Every
// value is written at most once, the first write winning, and read without a
// lock afterwards. Only runner selection (init.cpp) chooses script and
// runner; tests have their own, named entry.
#pragma once

#include <optional>
#include <string>

#include "exiftool/command.hpp"
#include "exiftool/look_config.hpp"
#include "exiftool/perl_interpreter.hpp"

namespace orv {

enum class ExifToolMode {
    InProcess,  // a fresh interpreter of the system Perl library per run
    Resident,   // perl processes kept open between runs
    Child,      // a perl child process per run
};

}  // namespace orv

namespace orv::process {

// The ExifTool script recorded by initialisation, or null: ExifTool then
// runs as "exiftool" from PATH.
const std::string* exiftool_script();

// The runner for commands with a script, or null: they run as child
// processes.
const Runner* exiftool_runner();

// The mode initialisation chose, or null.
const ExifToolMode* exiftool_mode();

// Records the script, then the mode and its runner. The script goes in
// first: a runner without a script would never be asked, a script without
// its runner would run perl as a child. Whatever was recorded first stays.
void choose_exiftool(const std::string& script, ExifToolMode mode, Runner runner);

// The process's look config, made on first use (nothing when the system
// cannot make one).
const std::optional<LookConfig>& look_config();

// The system Perl library, looked for and loaded on first use; nothing when
// none loads. The outcome is final.
const std::optional<perl::Library>& perl_library();

namespace testing {
// Test seams for the two choices, each first-write-wins like the real one.
void set_exiftool_script(const std::string& script);
void set_exiftool_runner(Runner runner);
}  // namespace testing

}  // namespace orv::process
