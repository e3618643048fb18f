#include "exiftool/perl_host_state.hpp"

#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <set>

extern char** environ;

namespace orv::perl {
namespace {

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

}  // namespace

HostState::HostState() : environment_(environment_entries()) {
    for (int sig = 1; sig < NSIG; ++sig) {
        saved_[sig] = sig != SIGKILL && sig != SIGSTOP && ::sigaction(sig, nullptr, &actions_[sig]) == 0;
    }
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask_);
    thread_locale_ = ::uselocale(locale_t(0));
    have_name_ = ::pthread_getname_np(::pthread_self(), name_, sizeof name_) == 0;
}

void HostState::restore() const {
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

}  // namespace orv::perl
