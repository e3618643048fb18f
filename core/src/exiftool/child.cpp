#include "exiftool/child.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

#include "exiftool/child_io.hpp"
#include "exiftool/state.hpp"
#include "unique_fd.hpp"

extern char** environ;

namespace orv {
namespace {

// One of posix_spawn's two set-up objects, destroyed whatever happens.
template <typename T, int (*Init)(T*), int (*Destroy)(T*)>
struct SpawnObject {
    T value;
    int rc = Init(&value);
    bool ok() const { return rc == 0; }
    ~SpawnObject() {
        if (rc == 0) Destroy(&value);
    }
};
using SpawnActions =
    SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init, posix_spawn_file_actions_destroy>;
using SpawnAttributes = SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

}  // namespace

RunResult run_child(const std::string& program, const std::vector<std::string>& args) {
    int out_pipe[2], err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) return fail(errno_error(errno));
    UniqueFd out_r(out_pipe[0]), out_w(out_pipe[1]);
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) return fail(errno_error(errno));
    UniqueFd err_r(err_pipe[0]), err_w(err_pipe[1]);

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    SpawnActions actions;
    SpawnAttributes attr;
    if (!actions.ok() || !attr.ok()) return fail(IoError{"cannot prepare the ExifTool process"});
    int rc = posix_spawn_file_actions_addopen(&actions.value, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions.value, out_w.get(), 1);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions.value, err_w.get(), 2);
    // The same number on both sides clears close-on-exec in the child only.
    if (const auto& config = process::look_config(); rc == 0 && config && config->fd > 2) {
        rc = posix_spawn_file_actions_adddup2(&actions.value, config->fd, config->fd);
    }
    if (rc != 0) return fail(errno_error(rc));

    // The child starts with default signal handling and nothing blocked,
    // whatever the host process has set up for itself.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    rc = posix_spawnattr_setsigmask(&attr.value, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr.value, &defaults);
    if (rc == 0) rc = posix_spawnattr_setflags(&attr.value, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (rc != 0) return fail(errno_error(rc));

    pid_t pid = -1;
    rc = ::posix_spawnp(&pid, program.c_str(), &actions.value, &attr.value, argv.data(), environ);
    if (rc != 0) return fail(errno_error(rc));

    out_w.reset();
    err_w.reset();
    RunOutput result;
    const DrainEnd end = drain(out_r.get(), err_r.get(), result.out, result.err, Clock::now() + run_deadline());
    if (end != DrainEnd::Closed) {
        kill_and_reap(pid);
        return fail(end == DrainEnd::Deadline ? deadline_error() : IoError{"reading ExifTool's output failed"});
    }
    const int status = reap(pid);
    if (status < 0) return fail(errno_error(errno));
    result.wait_status = status;
    return result;
}

IoError deadline_error() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(run_deadline()).count();
    return IoError{"ExifTool gave no answer within " + std::to_string(seconds) + " s"};
}

}  // namespace orv
