#include "exiftool/perl.hpp"
#include "unique_fd.hpp"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <locale.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "once_cell.hpp"
#include "text.hpp"

extern char** environ;

namespace orv::perl {
namespace {

// ---- Where the system Perl library lives ------------------------------------

#if defined(__APPLE__)
constexpr const char* kScanDir = "/System/Library/Perl";
constexpr const char* kFallbackLibrary = "/System/Library/Perl/5.34/darwin-thread-multi-2level/CORE/libperl.dylib";

std::string library_for_version(const std::string& scan_dir, const std::string& name) {
    return scan_dir + "/" + name + "/darwin-thread-multi-2level/CORE/libperl.dylib";
}
#else
#ifndef ORVQL_MULTIARCH
#error "ORVQL_MULTIARCH (the Debian multiarch triplet) must be defined"
#endif
// Debian keeps one folder per installed Perl version under the multiarch
// library folder; the shared library sits beside it, named after the version.
#define ORVQL_LIB_DIR "/usr/lib/" ORVQL_MULTIARCH
constexpr const char* kScanDir = ORVQL_LIB_DIR "/perl";
constexpr const char* kFallbackLibrary = ORVQL_LIB_DIR "/libperl.so.5.36";

std::string library_for_version(const std::string&, const std::string& name) {
    return ORVQL_LIB_DIR "/libperl.so." + name;
}
#endif

struct SearchOverride {
    std::mutex mutex;
    std::optional<std::string> scan_dir;
    std::optional<std::string> fallback;
};

SearchOverride& search_override() {
    static SearchOverride o;
    return o;
}

// "5.36.0" -> {5, 36, 0}. Every dot-separated part must be a 32-bit unsigned
// decimal number, optionally led by one "+"; anything else is not a version.
std::optional<std::vector<uint32_t>> parse_version(const std::string& name) {
    std::vector<uint32_t> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = std::min(name.find('.', start), name.size());
        const auto value = text::parse_u64(std::string_view(name).substr(start, dot - start));
        if (!value || *value > UINT32_MAX) return std::nullopt;
        parts.push_back(static_cast<uint32_t>(*value));
        if (dot == name.size()) return parts;
        start = dot + 1;
    }
}

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

// ---- The library's embedding interface --------------------------------------
//
// Declared here rather than taken from the Perl headers: the library is
// opened at run time, and only these few calls are needed. Perl is built
// with threads on the systems we support, so every call that acts on an
// interpreter takes it as its first argument.

struct Interpreter;  // PerlInterpreter
struct Cv;           // CV

using XsInitFn = void (*)(Interpreter*);
using XsubFn = void (*)(Interpreter*, Cv*);
using SysInit3Fn = void (*)(int*, char***, char***);
using AllocFn = Interpreter* (*)();
using ConstructFn = void (*)(Interpreter*);
using ParseFn = int (*)(Interpreter*, XsInitFn, int, char**, char**);
using RunFn = int (*)(Interpreter*);
using DestructFn = int (*)(Interpreter*);
using FreeFn = void (*)(Interpreter*);
using SetContextFn = void (*)(void*);
using NewXsFn = Cv* (*)(Interpreter*, const char*, XsubFn, const char*);

struct Perl {
    AllocFn alloc;
    ConstructFn construct;
    ParseFn parse;
    RunFn run;
    DestructFn destruct;
    FreeFn free;
    SetContextFn set_context;
    NewXsFn new_xs;
    XsubFn boot_dynaloader;
};

OnceCell<std::optional<Perl>> PERL;

// Descriptors 1 and 2 and the current-interpreter context are process-wide:
// one run at a time.
std::mutex PERL_RUN_LOCK;

template <typename Fn>
bool resolve(void* library, const char* name, Fn& out) {
    void* symbol = ::dlsym(library, name);
    if (!symbol) return false;
    out = reinterpret_cast<Fn>(symbol);
    return true;
}

std::optional<Perl> load() {
    for (const std::string& path : candidate_libraries()) {
        if (path.find('\0') != std::string::npos) continue;
        // Global symbols: the XS modules ExifTool loads resolve against it.
        void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (!library) continue;
        SysInit3Fn sys_init3 = nullptr;
        Perl p{};
        // A library missing any of these stays loaded; it is never used.
        if (!resolve(library, "Perl_sys_init3", sys_init3) || !resolve(library, "perl_alloc", p.alloc) ||
            !resolve(library, "perl_construct", p.construct) || !resolve(library, "perl_parse", p.parse) ||
            !resolve(library, "perl_run", p.run) || !resolve(library, "perl_destruct", p.destruct) ||
            !resolve(library, "perl_free", p.free) || !resolve(library, "Perl_set_context", p.set_context) ||
            !resolve(library, "Perl_newXS", p.new_xs) || !resolve(library, "boot_DynaLoader", p.boot_dynaloader)) {
            continue;
        }
        // Perl's system set-up ignores SIGFPE for the whole process; the host
        // keeps its own disposition.
        struct sigaction fpe;
        const bool have_fpe = ::sigaction(SIGFPE, nullptr, &fpe) == 0;
        int argc = 0;
        char** argv = nullptr;
        char** env = nullptr;
        sys_init3(&argc, &argv, &env);
        if (have_fpe) ::sigaction(SIGFPE, &fpe, nullptr);
        // Perl lets only the first interpreter it allocates install signal
        // handlers for %SIG. That one is kept, never used, for the life of
        // the process, so no interpreter that runs a script puts a Perl
        // handler into the process, where a signal could reach it on a host
        // thread without an interpreter, or after its interpreter is gone.
        // Otherwise the first run's interpreter would count as the first,
        // and so would any later one that malloc happens to place at the
        // same address.
        (void)p.alloc();
        p.set_context(nullptr);
        return p;
    }
    return std::nullopt;
}

const std::optional<Perl>& perl_library() {
    return PERL.get_or_init(load);
}

// Lets the interpreter load compiled extension modules (Encode, POSIX, ...).
void xs_init(Interpreter* interp) {
    const std::optional<Perl>* p = PERL.get();
    if (!p || !*p) return;
    // Perl keeps the file name pointer, so it must live forever.
    (*p)->new_xs(interp, "DynaLoader::boot_DynaLoader", (*p)->boot_dynaloader, "orvql-perl-host");
}

// ---- What an interpreter may change in the host -----------------------------
//
// ExifTool installs handlers for SIGINT and SIGCONT, Perl gives the calling
// thread a locale of its own, and a script may change %ENV or rename the
// thread through $0. None of that may outlive the run: a Perl signal handler
// left behind would run against a freed interpreter, and the host's locale,
// environment and thread names are its own.

bool same_action(const struct sigaction& a, const struct sigaction& b) {
    return reinterpret_cast<void*>(a.sa_sigaction) == reinterpret_cast<void*>(b.sa_sigaction) &&
           a.sa_flags == b.sa_flags;
}

void set_thread_name(const char* name) {
#if defined(__APPLE__)
    ::pthread_setname_np(name);
#else
    ::pthread_setname_np(::pthread_self(), name);
#endif
}

std::vector<std::string> environment_entries() {
    std::vector<std::string> entries;
    for (char** e = environ; e && *e; ++e) entries.emplace_back(*e);
    return entries;
}

void restore_environment(const std::vector<std::string>& saved) {
    const std::vector<std::string> now = environment_entries();
    if (now == saved) return;
    auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::set<std::string> saved_names;
    for (const auto& entry : saved) saved_names.insert(name_of(entry));
    for (const auto& entry : now) {
        const std::string name = name_of(entry);
        if (!name.empty() && !saved_names.count(name)) ::unsetenv(name.c_str());
    }
    for (const auto& entry : saved) {
        const size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        const std::string name = entry.substr(0, eq);
        const char* value = entry.c_str() + eq + 1;
        const char* current = std::getenv(name.c_str());
        if (!current || std::strcmp(current, value) != 0) ::setenv(name.c_str(), value, 1);
    }
}

class HostState {
public:
    HostState() : environment_(environment_entries()) {
        for (int sig = 1; sig < NSIG; ++sig) {
            saved_[sig] = sig != SIGKILL && sig != SIGSTOP && ::sigaction(sig, nullptr, &actions_[sig]) == 0;
        }
        ::pthread_sigmask(SIG_SETMASK, nullptr, &mask_);
        thread_locale_ = ::uselocale(locale_t(0));
        have_name_ = ::pthread_getname_np(::pthread_self(), name_, sizeof name_) == 0;
    }

    void restore() const {
        for (int sig = 1; sig < NSIG; ++sig) {
            struct sigaction now;
            if (!saved_[sig] || ::sigaction(sig, nullptr, &now) != 0) continue;
            if (!same_action(now, actions_[sig])) ::sigaction(sig, &actions_[sig], nullptr);
        }
        ::pthread_sigmask(SIG_SETMASK, &mask_, nullptr);
        ::uselocale(thread_locale_);
        restore_environment(environment_);
        char name[sizeof name_];
        if (have_name_ && (::pthread_getname_np(::pthread_self(), name, sizeof name) != 0 ||
                           std::strcmp(name, name_) != 0)) {
            set_thread_name(name_);
        }
    }

private:
    struct sigaction actions_[NSIG];
    bool saved_[NSIG] = {};
    sigset_t mask_;
    locale_t thread_locale_;
    std::vector<std::string> environment_;
    char name_[64] = {};
    bool have_name_ = false;
};

// ---- Capture files and descriptors ------------------------------------------



// Anonymous memory files: they receive the photo's metadata, GPS positions
// included, so nothing is written where another user could read it, squat
// its name or find it left behind by a run that was killed; and no folder
// is needed, which a sandbox may not have. The descriptor is kept above 2
// so that redirecting 1 and 2 cannot close it.
int create_capture_file(const char* name, int& err) {
    int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    if (fd <= 2) {
        const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        err = errno;
        ::close(fd);
        fd = high;
    }
    return fd;
}

std::string read_capture(int fd) {
    std::string data;
    char buf[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) return data;
        data.append(buf, static_cast<size_t>(n));
        offset += n;
    }
}

// Points descriptors 1 and 2 at the capture files and back. The kept
// originals are close-on-exec, so nothing a script starts inherits them.
class Redirection {
public:
    Redirection(int out_fd, int err_fd) {
        std::fflush(nullptr);
        saved_out_ = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
        saved_err_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
        active_ = saved_out_ >= 0 && saved_err_ >= 0 && ::dup2(out_fd, 1) >= 0 && ::dup2(err_fd, 2) >= 0;
    }
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;
    ~Redirection() { end(); }

    bool active() const { return active_; }

    void end() {
        std::fflush(nullptr);
        if (saved_out_ >= 0) {
            ::dup2(saved_out_, 1);
            ::close(saved_out_);
            saved_out_ = -1;
        }
        if (saved_err_ >= 0) {
            ::dup2(saved_err_, 2);
            ::close(saved_err_);
            saved_err_ = -1;
        }
    }

private:
    int saved_out_ = -1;
    int saved_err_ = -1;
    bool active_ = false;
};

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
int run_interpreter(const Perl& p, ArgVector& argv) {
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

std::vector<std::string> rank_version_names(const std::vector<std::string>& names) {
    std::vector<std::pair<std::vector<uint32_t>, std::string>> versions;
    for (const auto& name : names) {
        if (auto v = parse_version(name)) versions.emplace_back(std::move(*v), name);
    }
    std::stable_sort(versions.begin(), versions.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> ranked;
    for (auto& v : versions) ranked.push_back(std::move(v.second));
    return ranked;
}

std::vector<std::string> candidate_libraries() {
    std::string scan_dir = kScanDir;
    std::string fallback = kFallbackLibrary;
    {
        SearchOverride& o = search_override();
        std::lock_guard lock(o.mutex);
        if (o.scan_dir) scan_dir = *o.scan_dir;
        if (o.fallback) fallback = *o.fallback;
    }
    std::vector<std::string> candidates;
    for (const auto& name : rank_version_names(list_dir(scan_dir))) {
        candidates.push_back(library_for_version(scan_dir, name));
    }
    candidates.push_back(fallback);
    return candidates;
}

bool loaded() {
    return perl_library().has_value();
}

RunResult run_exiftool(const std::vector<std::string>& args) {
    const std::optional<Perl>& p = perl_library();
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

void set_scan_dir_for_testing(const std::string& dir) {
    SearchOverride& o = search_override();
    std::lock_guard lock(o.mutex);
    o.scan_dir = dir;
}

void set_fallback_library_for_testing(const std::string& path) {
    SearchOverride& o = search_override();
    std::lock_guard lock(o.mutex);
    o.fallback = path;
}

}  // namespace orv::perl
