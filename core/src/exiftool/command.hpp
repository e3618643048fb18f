// Building and running ExifTool command lines. Where a run happens is decided
// here and nowhere else: a child process ("exiftool" from PATH, or
// /usr/bin/perl plus the script), or the in-process runner hook that
// orv_ql_init installs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "once_cell.hpp"
#include "result.hpp"

namespace orv {

// The outcome of a run that took place. The status is a wait status: success
// exactly when the process exited with code 0.
struct RunOutput {
    int wait_status = 0;
    std::string out;
    std::string err;

    bool success() const;
    // The exit code, or nothing when the run ended without one (a signal).
    std::optional<int> exit_code() const;
};

using RunResult = Result<RunOutput, IoError>;

// The in-process runner: receives the whole argument list, script path first.
using Runner = RunResult (*)(const std::vector<std::string>& args);

// The camera-look config as ExifTool opens it: a sealed anonymous file of
// ours, named through the descriptor that keeps it open for the life of the
// process. Nobody else can change what it holds, and no folder is needed.
struct LookConfig {
    int fd = -1;
    std::string path;  // "/dev/fd/<fd>"
};

// Process-wide set-once cells; the first value written wins.
extern OnceCell<std::string> EXIFTOOL_SCRIPT;
extern OnceCell<Runner> EXIFTOOL_RUNNER;
extern OnceCell<std::optional<LookConfig>> LOOK_CONFIG_PATH;

class ExifToolCommand {
public:
    // Appends one argument (any bytes; not required to be UTF-8).
    ExifToolCommand& arg(std::string_view value);

    // Appends a file path, never as something ExifTool reads as an option
    // (see exiftool_file_argument).
    ExifToolCommand& file(std::string_view path);

    // Runs the command. Exit status and standard error are returned as data;
    // an error means the run could not take place at all.
    RunResult output() const;

    const std::string& program() const { return program_; }
    const std::vector<std::string>& args() const { return args_; }
    const std::optional<std::string>& script() const { return script_; }

private:
    friend ExifToolCommand exiftool_command();
    std::string program_;
    std::optional<std::string> script_;  // also the program's one fixed argument
    std::vector<std::string> args_;
};

// How a file path is handed to ExifTool: as given, or "./" + path when it
// starts with "-" (ExifTool would read it as an option).
std::string exiftool_file_argument(std::string_view path);

// "/usr/bin/perl" + script when orv_ql_init recorded one, else "exiftool".
ExifToolCommand exiftool_command();
// As above, led by "-config" and the camera-look config file when it could be
// written. Only the main tag read uses it.
ExifToolCommand exiftool_command_with_config();

// Runs program (looked up on PATH when it has no slash) with args, standard
// input from /dev/null, both output streams captured. No shell is involved.
// A run that outlasts run_deadline() is killed and fails. The look config's
// descriptor, when there is one, stays open in the child, so that its
// "/dev/fd" name reads the same there.
RunResult run_child(const std::string& program, const std::vector<std::string>& args);

// The error of a run that outlasted run_deadline(): its process is killed.
IoError deadline_error();

// The ExifTool config defining the OrvantaCameraLook composite tag.
extern const std::string_view kLookConfigText;

// A new sealed anonymous file holding kLookConfigText, or nothing when the
// system cannot make one (the tag read then runs without it).
std::optional<LookConfig> make_look_config();

// The process's look config (LOOK_CONFIG_PATH), made on first use.
const std::optional<LookConfig>& look_config();

}  // namespace orv
