// What an interpreter may change in the host.
//
// ExifTool installs handlers for SIGINT and SIGCONT, Perl gives the calling
// thread a locale of its own, and a script may change %ENV or rename the
// thread through $0. None of that may outlive the run: a Perl signal handler
// left behind would run against a freed interpreter, and the host's locale,
// environment and thread names are its own.
#pragma once

#include <locale.h>
#include <signal.h>

#include <string>
#include <vector>

namespace orv::perl {

// The host's signal actions and mask, the calling thread's locale and name,
// and the environment, as they were when it was made.
class HostState {
public:
    HostState();
    // Puts back whatever differs now.
    void restore() const;

private:
    struct sigaction actions_[NSIG];
    bool saved_[NSIG] = {};
    sigset_t mask_;
    locale_t thread_locale_;
    std::vector<std::string> environment_;
    char name_[64] = {};
    bool have_name_ = false;
};

}  // namespace orv::perl
