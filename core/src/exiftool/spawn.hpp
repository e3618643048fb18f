// The one way the core starts a process: a clean child that knows nothing
// of its host. It starts with default signal handling and nothing blocked,
// holds no descriptor of the host's but its three streams (and one it is
// told to keep at its number), lives under the given resource limits, and
// is killed when the thread that started it ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "exiftool/limits.hpp"
#include "result.hpp"
#include "unique_fd.hpp"

namespace orv {

struct SpawnSpec {
    std::string program;            // a path, or a name looked up on PATH
    std::vector<std::string> args;  // after the program's own name
    bool input_socket = false;      // standard input: a socket of ours, or /dev/null
    int keep_fd = -1;               // stays open in the child at the same number
    Limits limits;                  // address space and processor time
};

struct Spawned {
    pid_t pid = -1;
    UniqueFd in;   // the socket on the child's standard input, when asked for
    UniqueFd out;  // its standard output
    UniqueFd err;  // its standard error
};

// Starts the program; an error when it cannot be found or executed.
Result<Spawned, IoError> spawn_process(const SpawnSpec& spec);

// What the kernel says of a live process: whether it is stopped (a SIGSTOP,
// a debugger) and how much processor time it has used. Nothing when the
// process is gone.
struct ProcessState {
    bool stopped = false;
    std::chrono::milliseconds cpu_used{0};
};
std::optional<ProcessState> process_state(pid_t pid);

// Lets a running process use `more` processor time from now on.
void allow_cpu(pid_t pid, std::chrono::milliseconds used, std::chrono::seconds more);

}  // namespace orv
