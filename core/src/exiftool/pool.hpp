// The resident ExifTool processes of this process and their supervisor.
//
// A resident is in one state at a time, changed only by the pool under its
// lock: Starting (its process is being started by the supervisor), Idle
// (ready for a run), Busy (one caller holds it for one run), Leaving (asked
// to end, or stopped, and being ended by the supervisor) and Gone. The
// process's fields belong to whoever holds it Busy; only the pool ends it.
//
// The supervisor thread starts every process (a resident dies with the
// thread that started it, and only the supervisor lives as long as the
// process), ends those that leave and retires those idle too long.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "exiftool/lane.hpp"
#include "exiftool/spawn.hpp"
#include "result.hpp"

namespace orv::resident {

enum class State { Starting, Idle, Busy, Leaving, Gone };

// What a resident is started with. Runs with the same key go to the same
// resident, one after another.
struct Spec {
    std::string key;                // script, config and lane
    std::vector<std::string> args;  // perl's arguments
    int keep_fd = -1;               // the look config's descriptor
    Lane lane = Lane::Request;
};

// The working folder: relative names resolve against it, in the resident
// as in its host, so a resident serves only hosts still in the folder it
// was started in.
struct Folder {
    dev_t dev = 0;
    ino_t ino = 0;
    friend bool operator==(const Folder&, const Folder&) = default;
};
Folder working_folder();

struct Resident {
    Spec spec;
    Folder folder;
    Spawned process;  // set when it leaves Starting
    State state = State::Starting;
    Clock::time_point last_used;
    Clock::time_point busy_since;
    std::optional<IoError> start_error;
    std::atomic<bool> abandoned{false};  // its run was abandoned
    bool killed = false;                 // and its process killed for it
};

class Pool {
public:
    static Pool& instance();

    // A resident for spec, Busy for the caller, started when there is none.
    // One found stopped or dead is replaced first. Fails at once when the
    // caller's request has been abandoned.
    Result<std::shared_ptr<Resident>, IoError> acquire(const Spec& spec);

    // Hands a resident back after a run: Idle when its process still
    // serves, else it is killed, reaped and Gone, and its wait status is
    // returned (it tells what ended it).
    int release(const std::shared_ptr<Resident>& r, bool serves);

    // Starts a resident for spec ahead of need, when there is none.
    void prestart(const Spec& spec);

    // Abandons the lane's runs in progress: each is killed (it fails and
    // its successor starts at once) when it has run for the abandon grace,
    // else when it reaches it, unless it ends first. Wakes the lane's
    // waiters.
    void abandon(Lane lane);

    // Processes alive: idle, busy or leaving.
    size_t live();

    // The limits changed (tests): idle residents are looked at again.
    void wake();

private:
    Pool() = default;
    void set_state(Resident& r, State state);  // the lock is held
    std::shared_ptr<Resident> start(const Spec& spec, const Folder& folder);
    bool usable(Resident& r, const Folder& folder);  // the lock is held
    int end_now(Resident& r);  // kill and reap, the wait status; the lock is held
    void kill_abandoned(Resident& r);  // the lock is held
    void supervise();
    void end_politely(Resident& r, const Limits& limits);

    std::mutex mutex_;
    std::condition_variable changed_;  // a resident changed state
    std::condition_variable wake_;     // work for the supervisor
    std::vector<std::shared_ptr<Resident>> residents_;
    std::deque<std::shared_ptr<Resident>> to_start_;
    bool supervising_ = false;
};

}  // namespace orv::resident
