// Building and running ExifTool command lines. Where a run happens is decided
// here and nowhere else: a child process ("exiftool" from PATH, or
// /usr/bin/perl plus the script), or the runner that initialisation chose.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exiftool/look_config.hpp"
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

// One run of the ExifTool script, as a runner receives it.
struct ExifToolRun {
    std::string script;
    const LookConfig* config = nullptr;  // loaded with "-config" when set
    std::vector<std::string> args;       // the command's own arguments

    // The whole argument list: script, "-config" and its file, then args.
    std::vector<std::string> argv() const;
};

// How runs of the script take place (in-process, resident or a child per
// run), chosen once by initialisation.
using Runner = RunResult (*)(const ExifToolRun& run);

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
    // What follows the program: the script, "-config" and its file when the
    // command loads the look config, then the command's own arguments.
    std::vector<std::string> argv() const;
    const std::optional<std::string>& script() const { return script_; }

private:
    friend ExifToolCommand exiftool_command();
    friend ExifToolCommand exiftool_command_with_config();
    std::string program_;
    std::optional<std::string> script_;  // also the program's one fixed argument
    const LookConfig* config_ = nullptr;
    std::vector<std::string> args_;
};

// How a file path is handed to ExifTool: as given, or "./" + path when it
// is relative and starts with anything ExifTool reads as an option dash
// ("-" or U+2212 MINUS SIGN).
std::string exiftool_file_argument(std::string_view path);

// "/usr/bin/perl" + script when initialisation recorded one, else "exiftool".
ExifToolCommand exiftool_command();
// As above, led by "-config" and the camera-look config file when it could be
// written. Only the main tag read uses it.
ExifToolCommand exiftool_command_with_config();

}  // namespace orv
