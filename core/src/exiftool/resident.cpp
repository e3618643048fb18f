#include "exiftool/resident.hpp"

#include <signal.h>

#include <random>

#include "exiftool/argfile.hpp"
#include "exiftool/child.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/pool.hpp"

namespace orv::resident {
namespace {

uint64_t next_id() {
    // Unpredictable, so no file can carry the marker that ends an answer.
    thread_local std::mt19937_64 generator{(uint64_t{std::random_device{}()} << 32) ^ std::random_device{}()};
    return generator() >> 1;
}

Spec spec_for(const std::string& script, const LookConfig* config, Lane lane) {
    Spec spec;
    spec.args = {script};
    if (config) {
        spec.args.insert(spec.args.end(), {"-config", config->path});
        spec.keep_fd = config->fd;
    }
    spec.args.insert(spec.args.end(), {"-stay_open", "True", "-@", "-"});
    spec.lane = lane;
    for (const auto& a : spec.args) spec.key += a + '\0';
    spec.key += lane == Lane::Prefetch ? "prefetch" : "request";
    return spec;
}

// How a run on a resident ended when the resident cannot serve again.
struct Stop {
    DrainEnd end;
    std::string err;
};

// One command on a resident the caller holds: the answer in `result`, or
// why the resident must be ended (it is killed here; the pool reaps it).
std::optional<Stop> run_on(Resident& r, const std::string& command, uint64_t id, const Limits& limits,
                           RunResult& result) {
    const pid_t pid = r.process.pid;
    const auto deadline = deadline_for(r.spec.lane, limits);
    if (const auto proc = process_state(pid)) allow_cpu(pid, proc->cpu_used, limits.cpu_per_run);
    std::string out, err;
    DrainEnd end = DrainEnd::Closed;
    if (send_all(r.process.in.get(), command, Clock::now() + deadline)) {
        end = drain(r.process.out.get(), r.process.err.get(), out, err, Clock::now() + deadline, limits.max_output,
                    [&] { return answer_complete(out, err, id); });
    }
    if (end == DrainEnd::Done) {
        if (auto answer = read_answer(std::move(out), std::move(err), id)) {
            result = std::move(*answer);
            return std::nullopt;
        }
    }
    ::kill(pid, SIGKILL);
    return Stop{end, std::move(err)};
}

IoError why_stopped(const Resident& r, const Stop& stop, int status, const Limits& limits) {
    if (r.killed) return IoError{kAbandoned};
    if (stop.end == DrainEnd::Done) return IoError{"ExifTool gave an answer that cannot be read"};
    if (auto failure = run_failure(stop.end, status, stop.err, deadline_for(r.spec.lane, limits))) return *failure;
    return IoError{"ExifTool stopped in the middle of a run"};
}

}  // namespace

RunResult run_exiftool(const ExifToolRun& run) {
    for (const auto& a : run.argv()) {
        if (a.find('\0') != std::string::npos) return fail(IoError{"ExifTool argument contains a NUL byte"});
    }
    const uint64_t id = next_id();
    const auto command = argfile_command(run.args, id);
    if (!command) return run_perl_child(run);

    Pool& pool = Pool::instance();
    const Limits limits = orv::limits();
    auto lease = pool.acquire(spec_for(run.script, run.config, current_lane()));
    if (!lease) return fail(lease.error());
    RunResult result = fail(IoError{});
    const auto stop = run_on(**lease, *command, id, limits, result);
    const int status = pool.release(*lease, !stop);
    if (stop) return fail(why_stopped(**lease, *stop, status, limits));
    return result;
}

bool start_and_check(const std::string& script) {
    const auto run = run_exiftool(ExifToolRun{script, nullptr, {"-ver"}});
    return run && run->success() && !run->out.empty();
}

void prestart(const std::string& script, const LookConfig& config) {
    Pool::instance().prestart(spec_for(script, &config, Lane::Request));
}

void abandon_requests() {
    note_abandonment();
    Pool::instance().abandon(Lane::Request);
}

size_t live_count() {
    return Pool::instance().live();
}

void limits_changed() {
    Pool::instance().wake();
}

}  // namespace orv::resident
