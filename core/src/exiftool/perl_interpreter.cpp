#include "exiftool/perl_interpreter.hpp"

#include <dlfcn.h>
#include <signal.h>

#include <string>

#include "exiftool/perl.hpp"
#include "exiftool/state.hpp"

namespace orv::perl {
namespace {

template <typename Fn>
bool resolve(void* library, const char* name, Fn& out) {
    void* symbol = ::dlsym(library, name);
    if (!symbol) return false;
    out = reinterpret_cast<Fn>(symbol);
    return true;
}

}  // namespace

std::optional<Library> load_library() {
    for (const std::string& path : candidate_libraries()) {
        if (path.find('\0') != std::string::npos) continue;
        // Global symbols: the XS modules ExifTool loads resolve against it.
        void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (!library) continue;
        SysInit3Fn sys_init3 = nullptr;
        Library p{};
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

void xs_init(Interpreter* interp) {
    // Only ever called from a run, so the library is loaded by then.
    const std::optional<Library>& p = process::perl_library();
    if (!p) return;
    // Perl keeps the file name pointer, so it must live forever.
    p->new_xs(interp, "DynaLoader::boot_DynaLoader", p->boot_dynaloader, "orvql-perl-host");
}

}  // namespace orv::perl
