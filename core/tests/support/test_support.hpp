// Shared helpers of the core test programs: temporary folders, environment
// changes undone at scope end, corpus paths and the fake exiftool.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "exiftool/command.hpp"

namespace orv::test {

namespace fs = std::filesystem;

// Root of the shared corpus of real camera files.
fs::path corpus(const std::string& relative = "");

// The staged ExifTool script of the build.
fs::path staged_exiftool();

std::string read_file(const fs::path& path);

// Runs a program of the tests (orv-ql, setpriv, ...) as a child with its
// output captured, like the core's own child runs but without ExifTool's
// resource limits (a sanitizer build reserves far more address space).
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      std::chrono::seconds deadline = std::chrono::seconds(120));

// The envelope orv_ql_inspect returns for a path, as text (the string is
// released with orv_ql_free_string).
std::string inspect_text(const std::string& path);

// The envelope orv-ql (at orv_ql) prints for a path with ExifTool as child
// processes, without its line end; "<orv-ql failed>" when it fails.
std::string inspect_as_children(const std::string& orv_ql, const std::string& path);

// The text orv_ql_selftest returns ("<null>" for a null result).
std::string selftest();

// The self-test's text for a healthy run of an ExifTool of this version.
std::string healthy_selftest(const std::string& version);

// What ExifTool reports with -ver, asked as a child process: the staged
// script run by /usr/bin/perl, or "exiftool" from PATH. Read from the
// programs themselves, so that a new ExifTool or Perl release does not turn
// the suite red.
std::string staged_exiftool_version();
std::string path_exiftool_version();

// The system Perl's version without its "v" ("5.36.0"), and its first two
// parts ("5.36"), as its library and folders are named.
std::string system_perl_version();
std::string system_perl_major_minor();
// Writes a file whole; returns its path.
fs::path write_file(const fs::path& path, const std::string& bytes);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// Sets (or with nullopt, removes) an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Waits up to ten seconds for a condition to hold; whether it did.
bool eventually(const std::function<bool()>& condition);

// The state letter of a process (R, S, T, Z, ...), or "" once it is gone.
std::string process_state(int pid);

// CPU seconds used by every child process this process has waited for.
double children_cpu_seconds();

// The fake exiftool first on PATH for the scope; see support/fake-exiftool.
// With perl_too, a fake perl beside it logs into the same place, so that any
// child process started by name shows in runs().
class FakeExifTool {
public:
    explicit FakeExifTool(bool perl_too = false);
    ~FakeExifTool();

    struct Reply {
        std::string out = {};
        std::string err = {};
        int exit_code = 0;
        int signal = 0;  // when non-zero the run kills itself with it
        int sleep_seconds = 0;  // waits this long before answering
        bool garble = false;    // a resident answers with a status that is not a number
        int hog_mib = 0;        // takes this much memory first
        bool list_fds = false;  // answers with the descriptors it holds open
    };
    // Adds a rule: runs whose arguments include every one of `match` get
    // `reply`. Rules are tried in the order they were added.
    void on(const std::vector<std::string>& match, const Reply& reply);

    // Every run so far, each as its argument list.
    std::vector<std::vector<std::string>> runs() const;

    // Every stay-open process started so far: its pid and leading arguments.
    struct Start {
        int pid = 0;
        std::string leading;
    };
    std::vector<Start> starts() const;

    // Its stay-open processes ignore "-stay_open False" from now on.
    void be_stubborn();

    const fs::path& dir() const { return dir_.path(); }
    // The fake's script, usable as the script path of a perl command line.
    static fs::path script();

private:
    TempDir dir_;
    int rules_ = 0;
    std::optional<ScopedEnv> path_env_;
    std::optional<ScopedEnv> dir_env_;
};

}  // namespace orv::test
