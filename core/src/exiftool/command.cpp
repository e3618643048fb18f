#include "exiftool/command.hpp"

#include <sys/wait.h>

#include "exiftool/child.hpp"
#include "exiftool/state.hpp"

namespace orv {

bool RunOutput::success() const {
    return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

std::optional<int> RunOutput::exit_code() const {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    return std::nullopt;
}

ExifToolCommand exiftool_command() {
    ExifToolCommand cmd;
    if (const std::string* script = process::exiftool_script()) {
        cmd.program_ = "/usr/bin/perl";
        cmd.script_ = *script;
    } else {
        cmd.program_ = "exiftool";
    }
    return cmd;
}

ExifToolCommand exiftool_command_with_config() {
    ExifToolCommand cmd = exiftool_command();
    if (const auto& config = process::look_config()) cmd.arg("-config").arg(config->path);
    return cmd;
}

ExifToolCommand& ExifToolCommand::arg(std::string_view value) {
    args_.emplace_back(value);
    return *this;
}

std::string exiftool_file_argument(std::string_view path) {
    // Any argument starting with "-" is an option to ExifTool ("-" alone is
    // standard input); "./" + path names the same file.
    if (!path.empty() && path.front() == '-') return "./" + std::string(path);
    return std::string(path);
}

ExifToolCommand& ExifToolCommand::file(std::string_view path) {
    return arg(exiftool_file_argument(path));
}

RunResult ExifToolCommand::output() const {
    std::vector<std::string> argv;
    argv.reserve(args_.size() + 1);
    if (script_) argv.push_back(*script_);
    argv.insert(argv.end(), args_.begin(), args_.end());
    if (script_) {
        if (const Runner* runner = process::exiftool_runner()) return (*runner)(argv);
    }
    return run_child(program_, argv);
}

}  // namespace orv
