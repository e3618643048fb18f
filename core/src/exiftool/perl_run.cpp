// One ExifTool run in a fresh interpreter, its output captured.
#include <locale.h>

#include <cstring>
#include <mutex>

#include "exiftool/perl.hpp"
#include "exiftool/perl_capture.hpp"
#include "exiftool/perl_host_state.hpp"
#include "exiftool/perl_interpreter.hpp"
#include "exiftool/state.hpp"
#include "unique_fd.hpp"

namespace orv::perl {
namespace {

// Descriptors 1 and 2 and the current-interpreter context are process-wide:
// one run at a time.
std::mutex PERL_RUN_LOCK;

// "perl", then the arguments, in one block like a real argv; Perl takes the
// block to be the area that $0 may overwrite. The extra NUL at its end keeps
// Perl from taking a neighbouring environment string as part of it.
class ArgVector {
public:
    explicit ArgVector(const std::vector<std::string>& args) {
        size_t size = sizeof "perl" + 1;
        for (const auto& a : args) size += a.size() + 1;
        block_.assign(size, '\0');
        char* at = block_.data();
        auto add = [&](const std::string& s) {
            std::memcpy(at, s.data(), s.size());
            pointers_.push_back(at);
            at += s.size() + 1;
        };
        add("perl");
        for (const auto& a : args) add(a);
        argc_ = static_cast<int>(pointers_.size());
        pointers_.push_back(nullptr);
    }
    int argc() const { return argc_; }
    char** argv() { return pointers_.data(); }

private:
    std::vector<char> block_;
    std::vector<char*> pointers_;
    int argc_ = 0;
};

// One fresh interpreter over the script; returns perl_destruct's status.
// Perl's exit and die unwind to perl_parse or perl_run, which return, so the
// host process lives on. The interpreter keeps Perl's default exit flags: END
// blocks run at the end of perl_run (after exit too), inside its catch frame.
// They do not run when the script fails to compile, unlike under the perl
// program, and an exit from an object destructor during the final global
// destruction has no frame to return to and would end the process; ExifTool
// does neither.
int run_interpreter(const Library& p, ArgVector& argv) {
    const HostState host;
    // Perl frees whatever locale object the thread uses when it is done, so
    // it must not see the host's: it starts from the global locale, as in a
    // process of its own.
    ::uselocale(LC_GLOBAL_LOCALE);
    Interpreter* interp = p.alloc();
    p.set_context(interp);
    p.construct(interp);
    if (p.parse(interp, &xs_init, argv.argc(), argv.argv(), nullptr) == 0) p.run(interp);
    const int status = p.destruct(interp);
    host.restore();
    p.free(interp);
    p.set_context(nullptr);
    return status;
}

}  // namespace

bool loaded() {
    return process::perl_library().has_value();
}

RunResult run_exiftool(const std::vector<std::string>& args) {
    const std::optional<Library>& p = process::perl_library();
    if (!p) return fail(IoError{"system Perl library not found"});
    // Without a script Perl would read its program from our standard input.
    if (args.empty()) return fail(IoError{"no ExifTool script given"});
    for (const auto& a : args) {
        if (a.find('\0') != std::string::npos) return fail(IoError{"ExifTool argument contains a NUL byte"});
    }
    ArgVector argv(args);

    std::lock_guard lock(PERL_RUN_LOCK);
    int err = 0;
    UniqueFd out_fd(create_capture_file("orvanta-exiftool-out", err));
    if (out_fd.get() < 0) return fail(errno_error(err));
    UniqueFd err_fd(create_capture_file("orvanta-exiftool-err", err));
    if (err_fd.get() < 0) return fail(errno_error(err));

    std::optional<int> status;
    {
        Redirection redirect(out_fd.get(), err_fd.get());
        if (redirect.active()) status = run_interpreter(*p, argv);
    }

    RunOutput result;
    result.out = read_capture(out_fd.get());
    result.err = read_capture(err_fd.get());
    if (!status) return fail(IoError{"couldn't capture ExifTool's output"});
    result.wait_status = (*status & 0xFF) << 8;
    return result;
}

}  // namespace orv::perl
