// Helpers of the embedded Perl host's test programs.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exiftool/command.hpp"
#include "test_support.hpp"

namespace orv::test {

// orv_ql_init with the staged ExifTool script.
bool init_with_staged_exiftool();

// A script run as "/usr/bin/perl args..." in a child process.
RunResult run_as_child(const std::vector<std::string>& args);

// Writes a Perl script and returns its path.
fs::path write_script(const fs::path& dir, const std::string& name, const std::string& text);

// Equal wait status and output streams, or what differs.
::testing::AssertionResult same_run(const RunResult& a, const RunResult& b);

// CPU seconds used by every child process this process has waited for.
double children_cpu_seconds();

// The fake exiftool first on PATH, with a fake perl beside it that logs into
// the same place: any child process started by name shows in runs().
class FakePerlAndExifTool : public FakeExifTool {
public:
    FakePerlAndExifTool();
};

}  // namespace orv::test
