#include "exiftool/command.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "exiftool/child_io.hpp"
#include "unique_fd.hpp"

extern char** environ;

namespace orv {

OnceCell<std::string> EXIFTOOL_SCRIPT;
OnceCell<Runner> EXIFTOOL_RUNNER;
OnceCell<std::optional<LookConfig>> LOOK_CONFIG_PATH;

const std::string_view kLookConfigText =
    "# Orvanta preview: camera-look tag for ExifTool.\n"
    "# OrvantaCameraLook is the first of these maker-note looks that is set,\n"
    "# print-converted even when ExifTool runs with -n.\n"
    "%Image::ExifTool::UserDefined = (\n"
    "    'Image::ExifTool::Composite' => {\n"
    "        OrvantaCameraLook => {\n"
    "            Desire => {\n"
    "                0 => 'FujiFilm:FilmMode',\n"
    "                1 => 'Canon:PictureStyle',\n"
    "                2 => 'Nikon:PictureControlName',\n"
    "                3 => 'Sony:CreativeStyle',\n"
    "                4 => 'Olympus:PictureMode',\n"
    "                5 => 'Sigma:PictureMode',\n"
    "            },\n"
    "            ValueConv => q{\n"
    "                for my $i (0 .. 5) {\n"
    "                    return $prt[$i] if defined $prt[$i] and length $prt[$i];\n"
    "                }\n"
    "                return undef;\n"
    "            },\n"
    "        },\n"
    "    },\n"
    ");\n"
    "1;\n";

bool RunOutput::success() const {
    return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

std::optional<int> RunOutput::exit_code() const {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    return std::nullopt;
}

ExifToolCommand exiftool_command() {
    ExifToolCommand cmd;
    if (const std::string* script = EXIFTOOL_SCRIPT.get()) {
        cmd.program_ = "/usr/bin/perl";
        cmd.script_ = *script;
    } else {
        cmd.program_ = "exiftool";
    }
    return cmd;
}

ExifToolCommand exiftool_command_with_config() {
    ExifToolCommand cmd = exiftool_command();
    if (const auto& config = look_config()) cmd.arg("-config").arg(config->path);
    return cmd;
}

ExifToolCommand& ExifToolCommand::arg(std::string_view value) {
    args_.emplace_back(value);
    return *this;
}

std::string exiftool_file_argument(std::string_view path) {
    // Any argument starting with "-" is an option to ExifTool ("-" alone is
    // standard input); "./" + path names the same file.
    if (!path.empty() && path.front() == '-') return "./" + std::string(path);
    return std::string(path);
}

ExifToolCommand& ExifToolCommand::file(std::string_view path) {
    return arg(exiftool_file_argument(path));
}

namespace {

// posix_spawn's two set-up objects, destroyed whatever happens.
struct SpawnActions {
    posix_spawn_file_actions_t value;
    int rc = posix_spawn_file_actions_init(&value);
    bool ok() const { return rc == 0; }
    ~SpawnActions() {
        if (rc == 0) posix_spawn_file_actions_destroy(&value);
    }
};

struct SpawnAttributes {
    posix_spawnattr_t value;
    int rc = posix_spawnattr_init(&value);
    bool ok() const { return rc == 0; }
    ~SpawnAttributes() {
        if (rc == 0) posix_spawnattr_destroy(&value);
    }
};

}  // namespace

RunResult ExifToolCommand::output() const {
    std::vector<std::string> argv;
    argv.reserve(args_.size() + 1);
    if (script_) argv.push_back(*script_);
    argv.insert(argv.end(), args_.begin(), args_.end());
    if (script_) {
        if (const Runner* runner = EXIFTOOL_RUNNER.get()) return (*runner)(argv);
    }
    return run_child(program_, argv);
}

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
    if (const auto& config = look_config(); rc == 0 && config && config->fd > 2) {
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

namespace {

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::optional<LookConfig> make_look_config() {
    // The config is Perl code that ExifTool runs. A file in a shared folder
    // could be swapped by another user between our check and ExifTool's
    // open; a sealed anonymous file cannot be changed by anyone, us included.
    UniqueFd fd(::memfd_create("orvanta-look-config", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (fd.get() < 0) return std::nullopt;
    if (fd.get() <= 2) {  // standard streams closed by the host: keep clear of them
        UniqueFd high(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
        fd = std::move(high);
        if (fd.get() < 0) return std::nullopt;
    }
    if (!write_all(fd.get(), kLookConfigText)) return std::nullopt;
    if (::fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        return std::nullopt;
    }
    const int n = fd.release();
    return LookConfig{n, "/dev/fd/" + std::to_string(n)};
}

const std::optional<LookConfig>& look_config() {
    return LOOK_CONFIG_PATH.get_or_init(make_look_config);
}

}  // namespace orv
