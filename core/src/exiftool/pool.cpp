#include "exiftool/pool.hpp"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <thread>

#include "exiftool/child_io.hpp"

namespace orv::resident {

Folder working_folder() {
    struct stat st {};
    if (::stat(".", &st) != 0) return {};
    return {st.st_dev, st.st_ino};
}

Pool& Pool::instance() {
    // Never destroyed: its supervisor thread runs until the process ends.
    static Pool* pool = new Pool;
    return *pool;
}

void Pool::set_state(Resident& r, State state) {
    r.state = state;
    if (state == State::Gone) std::erase_if(residents_, [&](const auto& p) { return p.get() == &r; });
    changed_.notify_all();
    wake_.notify_all();
}

int Pool::end_now(Resident& r) {
    const int status = r.process.pid > 0 ? kill_and_reap(r.process.pid) : -1;
    r.process.pid = -1;
    set_state(r, State::Gone);
    return status;
}

std::shared_ptr<Resident> Pool::start(const Spec& spec, const Folder& folder) {
    auto r = std::make_shared<Resident>();
    r->spec = spec;
    r->folder = folder;
    residents_.push_back(r);
    to_start_.push_back(r);
    if (!supervising_) {
        std::thread([this] { supervise(); }).detach();
        supervising_ = true;
    }
    wake_.notify_all();
    return r;
}

// Whether an idle resident may take a run: still in the caller's folder,
// alive, and not stopped (a stopped process would hold the run until its
// deadline). One that may not is ended.
bool Pool::usable(Resident& r, const Folder& folder) {
    if (r.folder != folder) {
        set_state(r, State::Leaving);
        return false;
    }
    const auto proc = process_state(r.process.pid);
    if (!proc || proc->stopped) {
        end_now(r);
        return false;
    }
    return true;
}

Result<std::shared_ptr<Resident>, IoError> Pool::acquire(const Spec& spec) {
    const Folder folder = working_folder();
    std::unique_lock lock(mutex_);
    std::shared_ptr<Resident> awaited;
    for (;;) {
        if (call_abandoned()) return fail(IoError{kAbandoned});
        if (awaited && awaited->state == State::Gone && awaited->start_error) return fail(*awaited->start_error);
        std::shared_ptr<Resident> mine;
        for (const auto& r : residents_) {
            if (r->spec.key == spec.key && r->state != State::Leaving) mine = r;
        }
        if (!mine) {
            awaited = start(spec, folder);
            continue;
        }
        if (mine->state == State::Idle && usable(*mine, folder)) {
            set_state(*mine, State::Busy);
            mine->abandoned = false;
            mine->killed = false;
            mine->busy_since = Clock::now();
            return mine;
        }
        if (mine->state == State::Starting) awaited = mine;
        if (mine->state == State::Starting || mine->state == State::Busy) changed_.wait(lock);
    }
}

int Pool::release(const std::shared_ptr<Resident>& r, bool serves) {
    std::lock_guard lock(mutex_);
    r->last_used = Clock::now();
    if (!serves) return end_now(*r);
    set_state(*r, State::Idle);
    return 0;
}

void Pool::prestart(const Spec& spec) {
    std::lock_guard lock(mutex_);
    for (const auto& r : residents_) {
        if (r->spec.key == spec.key && r->state != State::Leaving) return;
    }
    start(spec, working_folder());
}

void Pool::kill_abandoned(Resident& r) {
    // Killed, not reaped: the run's own thread sees its streams close and
    // hands it back, and the pool reaps it then, under this lock, so the
    // number can never name another process here. The request that
    // abandoned it needs its configuration again at once: the successor
    // starts now rather than when it asks.
    r.killed = true;
    ::kill(r.process.pid, SIGKILL);
    start(r.spec, working_folder());
}

void Pool::abandon(Lane lane) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    const auto grace = limits().abandon_grace;
    std::vector<std::shared_ptr<Resident>> due;
    for (const auto& r : residents_) {
        if (r->spec.lane != lane || r->state != State::Busy || r->abandoned) continue;
        r->abandoned = true;
        if (now - r->busy_since >= grace) due.push_back(r);
    }
    for (const auto& r : due) kill_abandoned(*r);
    changed_.notify_all();
    wake_.notify_all();
}

size_t Pool::live() {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& r : residents_) n += r->state == State::Idle || r->state == State::Busy || r->state == State::Leaving;
    return n;
}

void Pool::wake() {
    wake_.notify_all();
}

// Asks a resident to leave as ExifTool expects ("-stay_open False"), and
// kills it when it does not.
void Pool::end_politely(Resident& r, const Limits& limits) {
    const pid_t pid = r.process.pid;
    if (pid <= 0) return;
    send_all(r.process.in.get(), "-stay_open\nFalse\n", Clock::now() + std::chrono::milliseconds(100));
    ::shutdown(r.process.in.get(), SHUT_WR);
    const auto until = Clock::now() + limits.leave_grace;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= until) {
            kill_and_reap(pid);
            break;
        }
        std::this_thread::sleep_for(limits.poll_step);
    }
}

void Pool::supervise() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!to_start_.empty()) {
            auto r = to_start_.front();
            to_start_.pop_front();
            const Spec spec = r->spec;
            lock.unlock();
            auto process = spawn_process({"/usr/bin/perl", spec.args, true, spec.keep_fd, limits()});
            lock.lock();
            if (process) {
                r->process = std::move(*process);
                r->last_used = Clock::now();
                set_state(*r, State::Idle);
            } else {
                r->start_error = process.error();
                set_state(*r, State::Gone);
            }
            continue;
        }
        const Limits now_limits = limits();
        const auto now = Clock::now();
        std::vector<std::shared_ptr<Resident>> due;
        for (const auto& r : residents_) {
            if (r->state == State::Idle && now - r->last_used >= now_limits.idle_exit) set_state(*r, State::Leaving);
            if (r->state == State::Busy && r->abandoned && !r->killed &&
                now - r->busy_since >= now_limits.abandon_grace) {
                due.push_back(r);
            }
        }
        for (const auto& r : due) kill_abandoned(*r);
        if (!due.empty()) continue;  // their successors start first
        std::shared_ptr<Resident> leaving;
        for (const auto& r : residents_) {
            if (r->state == State::Leaving && r->process.pid > 0) leaving = r;
        }
        if (leaving) {
            lock.unlock();
            end_politely(*leaving, now_limits);
            lock.lock();
            leaving->process.pid = -1;
            set_state(*leaving, State::Gone);
            continue;
        }
        std::optional<Clock::time_point> next;
        auto wake_at = [&](Clock::time_point at) {
            if (!next || at < *next) next = at;
        };
        for (const auto& r : residents_) {
            if (r->state == State::Idle) wake_at(r->last_used + now_limits.idle_exit);
            if (r->state == State::Busy && r->abandoned && !r->killed) wake_at(r->busy_since + now_limits.abandon_grace);
        }
        if (next) {
            wake_.wait_until(lock, *next);
        } else {
            wake_.wait(lock);
        }
    }
}

}  // namespace orv::resident
