#include "exiftool/resident.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "exiftool/argfile.hpp"
#include "exiftool/child.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/state.hpp"
#include "unique_fd.hpp"

extern char** environ;

namespace orv::resident {
namespace {

constexpr const char* kPerl = "/usr/bin/perl";

// Runs of one configuration queue for their resident. A second one per
// configuration was measured on two cores, for a file asked for while a
// neighbour is being prepared: no faster (the two compete for the cores),
// and runs that overlap already go to two residents, one per configuration.
constexpr size_t kResidentsPerConfig = 1;

// How long a resident that was asked to leave may take before it is killed.
constexpr auto kLeaveGrace = std::chrono::seconds(2);

std::atomic<long long> g_idle_ms{5 * 60 * 1000};

// ---- One resident process ---------------------------------------------------

struct Folder {
    dev_t dev = 0;
    ino_t ino = 0;
    friend bool operator==(const Folder&, const Folder&) = default;
};

// The working folder: relative names resolve against it, in the resident
// as in its host, so a resident serves only hosts still in the folder it was
// started in.
Folder working_folder() {
    struct stat st {};
    if (::stat(".", &st) != 0) return {};
    return {st.st_dev, st.st_ino};
}

struct Process {
    pid_t pid = -1;
    UniqueFd in;   // a socket: commands go in, and a send never raises SIGPIPE
    UniqueFd out;  // its standard output
    UniqueFd err;  // its standard error
};

struct Resident {
    Process process;
    Folder folder;
    Clock::time_point last_used;
    bool busy = false;
};

// Moves a new descriptor above the standard streams (the host may have
// closed them), so the child's dup2 onto 0-2 never meets it there.
bool keep_high(UniqueFd& fd) {
    if (fd.get() > 2) return true;
    UniqueFd high(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
    fd = std::move(high);
    return fd.get() >= 0;
}

bool make_pipe(UniqueFd& read_end, UniqueFd& write_end) {
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return false;
    read_end = UniqueFd(p[0]);
    write_end = UniqueFd(p[1]);
    return keep_high(read_end) && keep_high(write_end);
}

// The child between fork and exec: a copy of a threaded process, so only
// async-signal-safe calls. It dies with the thread that started it (the
// pool's supervisor, which lives as long as the process), starts with
// default signal handling, and keeps only 0-2 and `keep` open.
[[noreturn]] void become_resident(char** argv, int in, int out, int err, int report, int keep, pid_t host) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != host) ::_exit(127);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 65536; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (keep > 2) ::fcntl(keep, F_SETFD, 0);
    ::execve(kPerl, argv, environ);
    const int e = errno;
    [[maybe_unused]] const ssize_t n = ::write(report, &e, sizeof e);
    ::_exit(127);
}

Result<Process, IoError> spawn(const std::vector<std::string>& args, int keep) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return fail(errno_error(errno));
    UniqueFd in_parent(sv[0]), in_child(sv[1]);
    UniqueFd out_r, out_w, err_r, err_w, report_r, report_w;
    if (!keep_high(in_parent) || !keep_high(in_child) || !make_pipe(out_r, out_w) || !make_pipe(err_r, err_w) ||
        !make_pipe(report_r, report_w)) {
        return fail(errno_error(errno));
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kPerl));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // No host signal handler may run in the child before it resets them.
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t host = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) become_resident(argv.data(), in_child.get(), out_w.get(), err_w.get(), report_w.get(), keep, host);
    const int fork_errno = errno;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (pid < 0) return fail(errno_error(fork_errno));

    in_child.reset();
    out_w.reset();
    err_w.reset();
    report_w.reset();
    // The report pipe closes on a successful exec; otherwise it carries errno.
    int exec_errno = 0;
    ssize_t n;
    do {
        n = ::read(report_r.get(), &exec_errno, sizeof exec_errno);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof exec_errno)) {
        reap(pid);
        return fail(errno_error(exec_errno));
    }
    Process p;
    p.pid = pid;
    p.in = std::move(in_parent);
    p.out = std::move(out_r);
    p.err = std::move(err_r);
    return p;
}

// Asks a resident to leave as ExifTool expects ("-stay_open False"), and
// kills it when it does not.
void end(Process& p) {
    if (p.pid <= 0) return;
    send_all(p.in.get(), "-stay_open\nFalse\n", Clock::now() + std::chrono::milliseconds(100));
    ::shutdown(p.in.get(), SHUT_WR);
    const auto until = Clock::now() + kLeaveGrace;
    int status = 0;
    while (::waitpid(p.pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= until) {
            kill_and_reap(p.pid);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    p.pid = -1;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Where the status line starts in err once it is complete, or npos.
size_t status_line(const std::string& err, const std::string& prefix) {
    if (!ends_with(err, "}\n")) return std::string::npos;
    const size_t at = err.rfind(prefix);
    if (at == std::string::npos || err.find('\n', at) != err.size() - 1) return std::string::npos;
    return at;
}

enum class Outcome { Answered, Stale, Broken };

// One command on one resident. Stale: the resident was already gone, so
// the command never reached it.
Outcome run_on(Process& p, const std::string& command, uint64_t id, RunResult& result) {
    int status = 0;
    if (::waitpid(p.pid, &status, WNOHANG) == p.pid) {
        p.pid = -1;
        return Outcome::Stale;
    }
    const auto deadline = Clock::now() + run_deadline();
    const std::string ready = ready_marker(id);
    const std::string prefix = status_marker_prefix(id);
    RunOutput output;
    auto broken = [&](IoError error) {
        kill_and_reap(p.pid);
        p.pid = -1;
        result = fail(std::move(error));
        return Outcome::Broken;
    };
    if (!send_all(p.in.get(), command, deadline)) return broken(IoError{"ExifTool stopped taking commands"});

    const DrainEnd end = drain(p.out.get(), p.err.get(), output.out, output.err, deadline, [&] {
        return ends_with(output.out, ready) && status_line(output.err, prefix) != std::string::npos;
    });
    switch (end) {
        case DrainEnd::Done: break;
        case DrainEnd::Deadline: return broken(deadline_error());
        case DrainEnd::Closed: return broken(IoError{"ExifTool stopped in the middle of a run"});
        case DrainEnd::Failed: return broken(IoError{"reading ExifTool's output failed"});
    }
    const size_t at = status_line(output.err, prefix);
    const char* first = output.err.data() + at + prefix.size();
    const char* last = output.err.data() + output.err.size() - 2;  // before "}\n"
    int code = -1;
    const auto [stop, ec] = std::from_chars(first, last, code);
    if (ec != std::errc() || stop != last || code < 0 || code > 255) {
        return broken(IoError{"ExifTool gave an answer that cannot be read"});
    }
    output.out.resize(output.out.size() - ready.size());
    output.err.resize(at);
    output.wait_status = code << 8;
    result = std::move(output);
    return Outcome::Answered;
}

// ---- The residents of the process -------------------------------------------

class Pool {
public:
    static Pool& instance() {
        // Never destroyed: its supervisor thread runs until the process ends.
        static Pool* pool = new Pool;
        return *pool;
    }

    // A resident for this configuration, ready for one run, started when
    // there is none to spare.
    Result<std::shared_ptr<Resident>, IoError> acquire(const std::string& key, const std::vector<std::string>& spawn_args,
                                                        int keep);

    // Hands a resident back; one whose process is gone is dropped.
    void release(const std::shared_ptr<Resident>& r);

    size_t live() {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& [key, list] : residents_) {
            for (const auto& r : list) n += r->process.pid > 0;
        }
        return n + leaving_;
    }

    void idle_changed() { wake_.notify_all(); }

private:
    struct Job {
        std::vector<std::string> args;
        int keep = -1;
        std::promise<Result<Process, IoError>> done;
    };

    Result<Process, IoError> spawn_on_supervisor(std::vector<std::string> args, int keep);
    void supervise();
    // Moves idle residents that may no longer serve (another folder, or
    // idle too long) out of the pool; the supervisor ends them.
    void retire_if(const std::function<bool(const Resident&)>& leaves);

    std::mutex mutex_;
    std::condition_variable changed_;  // a resident became free or went away
    std::condition_variable wake_;     // work for the supervisor
    std::map<std::string, std::vector<std::shared_ptr<Resident>>> residents_;
    std::deque<Job*> jobs_;
    std::vector<std::shared_ptr<Resident>> retired_;
    size_t leaving_ = 0;
    bool supervising_ = false;
};

Result<Process, IoError> Pool::spawn_on_supervisor(std::vector<std::string> args, int keep) {
    // A resident dies with the thread that forked it; only the supervisor
    // lives as long as the process.
    Job job{std::move(args), keep, {}};
    auto done = job.done.get_future();
    {
        std::lock_guard lock(mutex_);
        if (!supervising_) {
            std::thread([this] { supervise(); }).detach();
            supervising_ = true;
        }
        jobs_.push_back(&job);
    }
    wake_.notify_all();
    return done.get();
}

void Pool::retire_if(const std::function<bool(const Resident&)>& leaves) {
    for (auto& [key, list] : residents_) {
        std::erase_if(list, [&](const std::shared_ptr<Resident>& r) {
            if (r->busy || !leaves(*r)) return false;
            retired_.push_back(r);
            return true;
        });
    }
}

Result<std::shared_ptr<Resident>, IoError> Pool::acquire(const std::string& key,
                                                          const std::vector<std::string>& spawn_args, int keep) {
    const Folder folder = working_folder();
    std::unique_lock lock(mutex_);
    for (;;) {
        auto& list = residents_[key];
        const size_t before = retired_.size();
        retire_if([&](const Resident& r) { return r.folder != folder; });
        if (retired_.size() != before) wake_.notify_all();
        for (const auto& r : list) {
            if (!r->busy) {
                r->busy = true;
                return r;
            }
        }
        if (list.size() < kResidentsPerConfig) {
            // The slot is taken before the process exists, so concurrent
            // callers wait for it instead of starting their own.
            auto r = std::make_shared<Resident>();
            r->busy = true;
            r->folder = folder;
            list.push_back(r);
            lock.unlock();
            auto process = spawn_on_supervisor(spawn_args, keep);
            lock.lock();
            if (!process) {
                std::erase(residents_[key], r);
                changed_.notify_all();
                return fail(process.error());
            }
            r->process = std::move(*process);
            return r;
        }
        changed_.wait(lock);
    }
}

void Pool::release(const std::shared_ptr<Resident>& r) {
    {
        std::lock_guard lock(mutex_);
        r->busy = false;
        r->last_used = Clock::now();
        if (r->process.pid <= 0) {
            for (auto& [key, list] : residents_) std::erase(list, r);
        }
    }
    changed_.notify_all();
    wake_.notify_all();
}

void Pool::supervise() {
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!jobs_.empty()) {
            Job* job = jobs_.front();
            jobs_.pop_front();
            lock.unlock();
            job->done.set_value(spawn(job->args, job->keep));
            lock.lock();
        }
        const auto now = Clock::now();
        const auto idle = idle_exit();
        retire_if([&](const Resident& r) { return now - r.last_used >= idle; });
        if (!retired_.empty()) {
            auto leaving = std::exchange(retired_, {});
            leaving_ += leaving.size();
            lock.unlock();
            for (auto& r : leaving) end(r->process);
            lock.lock();
            leaving_ -= leaving.size();
            changed_.notify_all();
            continue;
        }
        std::optional<Clock::time_point> next;
        for (const auto& [key, list] : residents_) {
            for (const auto& r : list) {
                if (!r->busy && (!next || r->last_used + idle < *next)) next = r->last_used + idle;
            }
        }
        if (next) {
            wake_.wait_until(lock, *next);
        } else {
            wake_.wait(lock);
        }
    }
}

uint64_t next_id() {
    // Unpredictable, so no file can carry the marker that ends an answer.
    thread_local std::mt19937_64 generator{(uint64_t{std::random_device{}()} << 32) ^ std::random_device{}()};
    return generator() >> 1;
}

}  // namespace

RunResult run_exiftool(const std::vector<std::string>& args) {
    if (args.empty()) return fail(IoError{"no ExifTool script given"});
    for (const auto& a : args) {
        if (a.find('\0') != std::string::npos) return fail(IoError{"ExifTool argument contains a NUL byte"});
    }
    // "-config FILE" can only lead ExifTool's command line: it is the
    // resident's, and the rest is the command.
    const size_t leading = args.size() >= 3 && args[1] == "-config" ? 3 : 1;
    const std::vector<std::string> command_args(args.begin() + static_cast<long>(leading), args.end());
    const uint64_t id = next_id();
    const auto command = argfile_command(command_args, id);
    if (!command) return run_child(kPerl, args);

    std::vector<std::string> spawn_args(args.begin(), args.begin() + static_cast<long>(leading));
    for (const char* a : {"-stay_open", "True", "-@", "-"}) spawn_args.emplace_back(a);
    std::string key;
    for (size_t i = 0; i < leading; ++i) key += args[i] + '\0';
    int keep = -1;
    if (const auto& config = process::look_config(); config && leading == 3 && args[2] == config->path) keep = config->fd;

    Pool& pool = Pool::instance();
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto lease = pool.acquire(key, spawn_args, keep);
        if (!lease) return fail(lease.error());
        RunResult result = fail(IoError{});
        const Outcome outcome = run_on((*lease)->process, *command, id, result);
        pool.release(*lease);
        if (outcome != Outcome::Stale) return result;
    }
    return fail(IoError{"ExifTool stopped before it could take the run"});
}

bool answers(const std::string& script) {
    const auto run = run_exiftool({script, "-ver"});
    return run && run->success() && !run->out.empty();
}

size_t live_count() {
    return Pool::instance().live();
}

std::chrono::milliseconds idle_exit() {
    return std::chrono::milliseconds(g_idle_ms.load(std::memory_order_relaxed));
}

void set_idle_exit_for_testing(std::chrono::milliseconds idle) {
    g_idle_ms.store(idle.count(), std::memory_order_relaxed);
    Pool::instance().idle_changed();
}

}  // namespace orv::resident
