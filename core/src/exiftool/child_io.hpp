// Talking to a child process over pipes without ever waiting for ever: both
// output streams read at once (a child filling one while we wait on the
// other cannot deadlock), under a deadline, and a child that overstays it
// killed and reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace orv {

using Clock = std::chrono::steady_clock;

// How long any one ExifTool run may take before its process is killed.
std::chrono::milliseconds run_deadline();
// Tests shorten it; the default is 60 seconds.
void set_run_deadline_for_testing(std::chrono::milliseconds deadline);

enum class DrainEnd {
    Done,      // `done` said so
    Closed,    // both streams reached their end
    Deadline,  // time ran out first
    Failed,    // reading failed
};

// Appends what arrives on out_fd and err_fd to out and err until done()
// returns true (checked after every read), both streams end, or the
// deadline passes.
DrainEnd drain(int out_fd, int err_fd, std::string& out, std::string& err, Clock::time_point deadline,
               const std::function<bool()>& done = {});

// Writes all of data to a pipe or socket by the deadline. Never raises
// SIGPIPE: a reader that is gone is a false result.
bool send_all(int fd, std::string_view data, Clock::time_point deadline);

// SIGKILL, then waits for the process so that no zombie is left.
void kill_and_reap(pid_t pid);

// Waits for the process, retrying on interruption; its wait status, or -1.
int reap(pid_t pid);

}  // namespace orv
