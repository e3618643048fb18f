// How long an ExifTool run may take and how much it may use. One value for
// the process, read by the child runner and the resident pool alike; tests
// shorten it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace orv {

using Clock = std::chrono::steady_clock;

struct Limits {
    // A run a user waits for.
    std::chrono::milliseconds run_deadline{60'000};
    // A run done ahead of need (prefetch): a file that takes longer is not
    // worth holding a process for.
    std::chrono::milliseconds background_deadline{5'000};
    // A resident asked to leave ("-stay_open False") and killed after this.
    std::chrono::milliseconds leave_grace{2'000};
    // A resident unused this long leaves.
    std::chrono::milliseconds idle_exit{5 * 60'000};
    // An abandoned run younger than this is left this long to end on its
    // own before its process is killed: a run is mostly shorter, and a
    // killed resident costs its successor a fresh start of ExifTool.
    std::chrono::milliseconds abandon_grace{250};
    // How often a process that is leaving is looked at.
    std::chrono::milliseconds poll_step{5};
    // Address space of every ExifTool process (RLIMIT_AS): a file that would
    // need more is "too large or too complex to read", never a machine out of
    // memory.
    uint64_t address_space = uint64_t{1} << 30;
    // Processor time one run may use (RLIMIT_CPU, counted per run for a
    // resident).
    std::chrono::seconds cpu_per_run{60};
    // What one run may write on either stream; ExifTool's largest honest
    // answers are embedded previews of some tens of MB.
    size_t max_output = size_t{320} << 20;
};

// The process's limits (a copy: they may change between runs in tests).
Limits limits();
void set_limits_for_testing(const Limits& limits);

}  // namespace orv
