// The system Perl library's embedding interface, opened at run time.
//
// Declared here rather than taken from the Perl headers: only these few
// calls are needed. Every call that acts on an interpreter takes it as its
// first argument, as a Perl built with threads declares them; configure
// refuses a Perl without threads.
#pragma once

#include <optional>

namespace orv::perl {

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

struct Library {
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

// Opens the first candidate library that has every call and sets Perl's
// system state up; nothing when none does. Called once, through
// process::perl_library().
std::optional<Library> load_library();

// Lets an interpreter load compiled extension modules (Encode, POSIX, ...).
void xs_init(Interpreter* interp);

}  // namespace orv::perl
