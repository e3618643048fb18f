#include "exiftool/command.hpp"

#include <sys/wait.h>

#include "exiftool/child.hpp"
#include "exiftool/lane.hpp"
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
    if (const auto& config = process::look_config()) cmd.config_ = &*config;
    return cmd;
}

std::vector<std::string> ExifToolRun::argv() const {
    std::vector<std::string> all{script};
    if (config) all.insert(all.end(), {"-config", config->path});
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

ExifToolCommand& ExifToolCommand::arg(std::string_view value) {
    args_.emplace_back(value);
    return *this;
}

std::string exiftool_file_argument(std::string_view path) {
    // ExifTool takes an argument led by "-" or by U+2212 (a dash that
    // copy and paste brings) as an option, and "-" alone as standard input;
    // "./" + path names the same file.
    if (path.starts_with('-') || path.starts_with("\xe2\x88\x92")) return "./" + std::string(path);
    return std::string(path);
}

ExifToolCommand& ExifToolCommand::file(std::string_view path) {
    return arg(exiftool_file_argument(path));
}

std::vector<std::string> ExifToolCommand::argv() const {
    std::vector<std::string> all;
    if (script_) all.push_back(*script_);
    if (config_) all.insert(all.end(), {"-config", config_->path});
    all.insert(all.end(), args_.begin(), args_.end());
    return all;
}

RunResult ExifToolCommand::output() const {
    if (call_abandoned()) return fail(IoError{kAbandoned});
    if (script_) {
        if (const Runner* runner = process::exiftool_runner()) return (*runner)(ExifToolRun{*script_, config_, args_});
    }
    return run_child(program_, argv());
}

}  // namespace orv
