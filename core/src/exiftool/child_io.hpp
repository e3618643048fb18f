// Talking to a child process over pipes without ever waiting for ever: both
// output streams read at once (a child filling one while we wait on the
// other cannot deadlock), under a deadline, and a child that overstays it
// killed and reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "exiftool/limits.hpp"
#include "result.hpp"

namespace orv {

enum class DrainEnd {
    Done,      // `done` said so
    Closed,    // both streams reached their end
    Deadline,  // time ran out first
    TooMuch,   // a stream passed max_output
    Failed,    // reading failed
};

// Appends what arrives on out_fd and err_fd to out and err until done()
// returns true (checked after every read), both streams end, the deadline
// passes or either holds more than max_output bytes.
DrainEnd drain(int out_fd, int err_fd, std::string& out, std::string& err, Clock::time_point deadline,
               size_t max_output, const std::function<bool()>& done = {});

// The text of a run that was stopped because the file asked too much of
// ExifTool: memory, processor time or output.
extern const char* const kTooLarge;

// Why a run whose process ended (wait_status) or was stopped (`end`) gave
// no answer; nothing when it ended on its own and its output stands.
std::optional<IoError> run_failure(DrainEnd end, int wait_status, const std::string& err,
                                   std::chrono::milliseconds deadline);

// Writes all of data to a pipe or socket by the deadline. Never raises
// SIGPIPE: a reader that is gone is a false result.
bool send_all(int fd, std::string_view data, Clock::time_point deadline);

// SIGKILL, then waits for the process so that no zombie is left; its wait
// status (which tells a process that had already died of something else).
int kill_and_reap(pid_t pid);

// Waits for the process, retrying on interruption; its wait status, or -1.
int reap(pid_t pid);

}  // namespace orv
