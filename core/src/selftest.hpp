// The diagnostic text of the self-test: one ExifTool version query.
#pragma once

#include <string>
#include <string_view>

#include "exiftool/command.hpp"

namespace orv {

// status=Some(0) out="12.57" err=""  or  failed: <reason>
std::string describe_selftest(const RunResult& run);

// The text in double quotes, with \" \\ \t \r \n \0 escapes and \u{hex} for
// other characters that do not print.
std::string debug_quote(std::string_view utf8);

}  // namespace orv
