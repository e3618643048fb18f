#include "exiftool/child.hpp"

#include "exiftool/child_io.hpp"
#include "exiftool/lane.hpp"
#include "exiftool/spawn.hpp"
#include "exiftool/state.hpp"

namespace orv {

RunResult run_child(const std::string& program, const std::vector<std::string>& args) {
    const Limits limits = orv::limits();
    const auto deadline = deadline_for(current_lane(), limits);
    const auto& config = process::look_config();
    auto child = spawn_process({program, args, false, config ? config->fd : -1, limits});
    if (!child) return fail(child.error());

    RunOutput result;
    const DrainEnd end = drain(child->out.get(), child->err.get(), result.out, result.err, Clock::now() + deadline,
                               limits.max_output);
    const int status = end == DrainEnd::Closed ? reap(child->pid) : kill_and_reap(child->pid);
    if (auto failure = run_failure(end, status, result.err, deadline)) return fail(std::move(*failure));
    if (status < 0) return fail(IoError{"ExifTool's process could not be waited for"});
    result.wait_status = status;
    return result;
}

RunResult run_perl_child(const ExifToolRun& run) {
    return run_child("/usr/bin/perl", run.argv());
}

}  // namespace orv
