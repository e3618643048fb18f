#include "exiftool/spawn.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "exiftool/child_io.hpp"

extern char** environ;

namespace orv {
namespace {

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

// The program's path: as given when it names a folder, else the first
// executable of that name on PATH. Found before the fork, because the child
// may only make async-signal-safe calls.
std::optional<std::string> locate(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

struct ChildFds {
    int in, out, err, report, keep;
};

// The child between fork and exec: a copy of a threaded process, so only
// async-signal-safe calls.
[[noreturn]] void become(const char* path, char** argv, const ChildFds& fds, const rlimit& as, const rlimit& cpu,
                         pid_t host) {
    const rlimit no_core{0, 0};
    auto die = [&] {
        const int e = errno;
        [[maybe_unused]] const ssize_t n = ::write(fds.report, &e, sizeof e);
        ::_exit(127);
    };
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != host) ::_exit(127);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::setrlimit(RLIMIT_AS, &as) != 0 || ::setrlimit(RLIMIT_CPU, &cpu) != 0 || ::setrlimit(RLIMIT_CORE, &no_core) != 0) {
        die();
    }
    if (::dup2(fds.in, 0) < 0 || ::dup2(fds.out, 1) < 0 || ::dup2(fds.err, 2) < 0) die();
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 65536; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (fds.keep > 2) ::fcntl(fds.keep, F_SETFD, 0);
    ::execve(path, argv, environ);
    die();
    ::_exit(127);
}

// A limit of `soft`, never above what the host itself may raise to (an
// unprivileged child cannot go past it).
rlimit limit_of(int resource, uint64_t soft, bool hard_too) {
    rlimit host{};
    ::getrlimit(resource, &host);
    rlimit r{static_cast<rlim_t>(soft), hard_too ? static_cast<rlim_t>(soft) : host.rlim_max};
    if (host.rlim_max != RLIM_INFINITY && r.rlim_cur > host.rlim_max) r.rlim_cur = host.rlim_max;
    if (host.rlim_max != RLIM_INFINITY && r.rlim_max > host.rlim_max) r.rlim_max = host.rlim_max;
    return r;
}

}  // namespace

Result<Spawned, IoError> spawn_process(const SpawnSpec& spec) {
    const auto path = locate(spec.program);
    if (!path) return fail(errno_error(ENOENT));

    UniqueFd in_parent, in_child;
    if (spec.input_socket) {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return fail(errno_error(errno));
        in_parent = UniqueFd(sv[0]);
        in_child = UniqueFd(sv[1]);
    } else {
        in_child = UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    UniqueFd out_r, out_w, err_r, err_w, report_r, report_w;
    if (in_child.get() < 0 || (spec.input_socket && !keep_high(in_parent)) || !keep_high(in_child) ||
        !make_pipe(out_r, out_w) || !make_pipe(err_r, err_w) || !make_pipe(report_r, report_w)) {
        return fail(errno_error(errno));
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(spec.program.c_str()));
    for (const auto& a : spec.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const ChildFds fds{in_child.get(), out_w.get(), err_w.get(), report_w.get(), spec.keep_fd};
    const rlimit as = limit_of(RLIMIT_AS, spec.limits.address_space, true);
    // Past the soft limit SIGXCPU ends the process. The hard limit stays
    // where the host's is, so that a resident's limit can be moved on before
    // each run without privileges.
    const rlimit cpu = limit_of(RLIMIT_CPU, static_cast<uint64_t>(spec.limits.cpu_per_run.count()), false);

    // No host signal handler may run in the child before it resets them.
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t host = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) become(path->c_str(), argv.data(), fds, as, cpu, host);
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
    Spawned child;
    child.pid = pid;
    child.in = std::move(in_parent);
    child.out = std::move(out_r);
    child.err = std::move(err_r);
    return child;
}

std::optional<ProcessState> process_state(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // "pid (comm) S ppid ...": the name may hold anything, so read after its
    // last parenthesis.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X" || state == "x") return std::nullopt;
    std::string skip;
    for (int i = 0; i < 10; ++i) fields >> skip;  // ppid .. cmajflt
    unsigned long long utime = 0, stime = 0;
    fields >> utime >> stime;
    const long ticks = ::sysconf(_SC_CLK_TCK);
    ProcessState result;
    result.stopped = state == "T" || state == "t";
    result.cpu_used = std::chrono::milliseconds((utime + stime) * 1000 / static_cast<unsigned long long>(ticks > 0 ? ticks : 100));
    return result;
}

void allow_cpu(pid_t pid, std::chrono::milliseconds used, std::chrono::seconds more) {
    const auto soft = static_cast<rlim_t>(std::chrono::duration_cast<std::chrono::seconds>(used).count() + 1 + more.count());
    rlimit cpu{};
    if (::prlimit(pid, RLIMIT_CPU, nullptr, &cpu) != 0) return;
    cpu.rlim_cur = cpu.rlim_max == RLIM_INFINITY || soft < cpu.rlim_max ? soft : cpu.rlim_max;
    ::prlimit(pid, RLIMIT_CPU, &cpu, nullptr);
}

}  // namespace orv
