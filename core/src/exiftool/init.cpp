#include "exiftool/init.hpp"

#include <mutex>
#include <thread>
#include <vector>

#include "exiftool/perl.hpp"
#include "exiftool/resident.hpp"
#include "exiftool/state.hpp"

namespace orv {
namespace {

// Both kinds of initialisation decide the same cells: one at a time.
std::mutex INIT_LOCK;

bool mode_in_force_works(const std::string& script) {
    const Runner* runner = process::exiftool_runner();
    if (runner && *runner == &resident::run_exiftool) return resident::answers(script);
    return perl::loaded();
}

}  // namespace

bool initialise(const std::string& script, ExifToolMode mode) {
    std::lock_guard lock(INIT_LOCK);
    if (const std::string* chosen = process::exiftool_script()) return mode_in_force_works(*chosen);
    if (mode == ExifToolMode::Resident) {
        if (!resident::answers(script)) return false;
        process::choose_exiftool(script, &resident::run_exiftool);
        // The tag read's resident (with the look config) starts now too,
        // while the caller has no file for it yet.
        if (const auto& config = process::look_config()) {
            std::thread([args = std::vector<std::string>{script, "-config", config->path, "-ver"}] {
                (void)resident::run_exiftool(args);
            }).detach();
        }
        return true;
    }
    process::choose_exiftool(script, &perl::run_exiftool);
    return perl::loaded();
}

}  // namespace orv
