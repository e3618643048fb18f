#include "exiftool_bin.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "unique_fd.hpp"

extern char** environ;

namespace orv {

OnceCell<std::string> EXIFTOOL_SCRIPT;
OnceCell<Runner> EXIFTOOL_RUNNER;
OnceCell<std::optional<std::string>> LOOK_CONFIG_PATH;

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

ExifToolCommand exiftool_command_inner() {
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
    ExifToolCommand cmd = exiftool_command_inner();
    const auto& config = LOOK_CONFIG_PATH.get_or_init([] { return prepare_look_config(temp_dir()); });
    if (config) cmd.arg("-config").arg(*config);
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

namespace {



// Reads both pipes to their end at once, so a child filling one of them while
// we wait on the other cannot deadlock.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open_count = 2;
    char buf[65536];
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_w.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err_w.get(), 2);

    // The child starts with default signal handling and nothing blocked,
    // whatever the host process has set up for itself.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return fail(errno_error(rc));

    out_w.reset();
    err_w.reset();
    RunOutput result;
    drain(out_r.get(), err_r.get(), result.out, result.err);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return fail(errno_error(errno));
    }
    result.wait_status = status;
    return result;
}

std::string temp_dir() {
    for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return "/tmp";
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

bool read_all(int fd, std::string& out) {
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

enum class Existing { Trusted, OursToReplace, Untrusted, Absent };

// The config file is Perl code that ExifTool executes, and the temporary
// folder may be shared with other users: only a regular file of ours that no
// one else can write, reached without following a symbolic link, is used.
Existing check_existing(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return errno == ENOENT ? Existing::Absent : Existing::Untrusted;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return Existing::Untrusted;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return Existing::Untrusted;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return Existing::OursToReplace;
    std::string content;
    if (!read_all(fd.get(), content)) return Existing::OursToReplace;
    return content == kLookConfigText ? Existing::Trusted : Existing::OursToReplace;
}

// Writes the text to a private temporary file and renames it over path, so
// no reader ever sees a half-written file and nothing planted at the name is
// followed.
bool replace_with_config(const std::string& dir, const std::string& path) {
    std::string tmpl = dir + "/" + std::string(kLookConfigName) + ".XXXXXX";
    UniqueFd fd(::mkostemp(tmpl.data(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    const bool written = write_all(fd.get(), kLookConfigText) && ::fchmod(fd.get(), 0600) == 0;
    fd.reset();
    if (!written || ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> prepare_look_config(const std::string& dir) {
    const std::string path = dir + "/" + std::string(kLookConfigName);
    switch (check_existing(path)) {
        case Existing::Trusted:
            return path;
        case Existing::Untrusted:
            return std::nullopt;
        case Existing::Absent:
        case Existing::OursToReplace:
            break;
    }
    if (!replace_with_config(dir, path)) return std::nullopt;
    return path;
}

}  // namespace orv
