#include "init.hpp"

#include "exiftool_bin.hpp"
#include "perl.hpp"

namespace orv {

bool initialise(const std::string& script) {
    // The script goes in before the runner: a runner without a script path
    // would never be asked, a script without the runner would spawn perl.
    EXIFTOOL_SCRIPT.set(script);
    EXIFTOOL_RUNNER.set(&perl::run_exiftool);
    return perl::loaded();
}

}  // namespace orv
