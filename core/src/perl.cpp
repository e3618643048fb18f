#include "perl.hpp"

namespace orv::perl {

std::vector<std::string> candidate_libraries() { return {}; }

bool loaded() { return false; }

RunResult run_exiftool(const std::vector<std::string>&) {
    return fail(IoError{"system Perl library not found"});
}

}  // namespace orv::perl
