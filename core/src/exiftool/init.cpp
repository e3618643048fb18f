#include "exiftool/init.hpp"

#include <unistd.h>

#include <mutex>

#include "exiftool/child.hpp"
#include "exiftool/perl.hpp"
#include "exiftool/resident.hpp"

namespace orv {
namespace {

// Both kinds of initialisation decide the same cells: one at a time.
std::mutex INIT_LOCK;

RunResult run_in_process(const ExifToolRun& run) {
    return perl::run_exiftool(run.argv());
}

bool perl_runs() {
    return ::access("/usr/bin/perl", X_OK) == 0;
}

bool mode_works(ExifToolMode mode, const std::string& script) {
    switch (mode) {
        case ExifToolMode::Resident: return resident::start_and_check(script);
        case ExifToolMode::Child: return perl_runs();
        case ExifToolMode::InProcess: return perl::loaded();
    }
    return false;
}

}  // namespace

bool initialise(const std::string& script, ExifToolMode mode) {
    std::lock_guard lock(INIT_LOCK);
    if (const std::string* chosen = process::exiftool_script()) {
        const ExifToolMode* in_force = process::exiftool_mode();
        return in_force && mode_works(*in_force, *chosen);
    }
    switch (mode) {
        case ExifToolMode::Resident:
            if (!resident::start_and_check(script)) return false;
            process::choose_exiftool(script, mode, &resident::run_exiftool);
            // The tag read's resident (with the look config) starts now too,
            // while the caller has no file for it yet.
            if (const auto& config = process::look_config()) resident::prestart(script, *config);
            return true;
        case ExifToolMode::Child:
            if (!perl_runs()) return false;
            process::choose_exiftool(script, mode, &run_perl_child);
            return true;
        case ExifToolMode::InProcess:
            process::choose_exiftool(script, mode, &run_in_process);
            return perl::loaded();
    }
    return false;
}

}  // namespace orv
