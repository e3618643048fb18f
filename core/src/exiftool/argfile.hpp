// The line protocol of a resident ExifTool: commands in ExifTool's
// argument-file syntax on its standard input (one argument per line, a
// numbered -execute ending each), answers ended by markers on both streams.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exiftool/command.hpp"

namespace orv {

// One argument as an argument-file line (newline included), so that ExifTool
// reads back exactly these bytes. Plain when the line is read as written;
// otherwise "#[CSTR]" with backslash, newline and carriage return escaped.
// Nothing when no line can carry it: a NUL byte, or a "$" or "@" in an
// argument that needs "#[CSTR]" (the system's ExifTool keeps a backslash
// before those two there).
std::optional<std::string> argfile_line(std::string_view arg);

// The whole command: the arguments, then "-echo4" with a status marker (the
// command's exit status, on standard error once it is done), then
// "-execute<id>" (ExifTool answers "{ready<id>}" on standard output).
// Nothing when an argument has no line, or is an option that acts on the
// stream of commands itself (-execute, -stay_open, -@, -common_args).
std::optional<std::string> argfile_command(const std::vector<std::string>& args, uint64_t id);

// What ends each stream of a command's answer.
std::string ready_marker(uint64_t id);            // "{ready<id>}\n"
std::string status_marker_prefix(uint64_t id);    // "{orvql-status <id> "

// Whether the answer to command `id` is all in: standard output ends with
// its ready marker and standard error with its status line.
bool answer_complete(const std::string& out, const std::string& err, uint64_t id);

// The run's outcome from a complete answer, markers removed; nothing when
// the status line cannot be read.
std::optional<RunOutput> read_answer(std::string out, std::string err, uint64_t id);

}  // namespace orv
