// An ExifTool that cannot run at all ends the search at once. This sets the
// process-wide runner cells, so it is a program of its own.
#include <gtest/gtest.h>

#include "exiftool/command.hpp"
#include "exiftool/state.hpp"
#include "preview/preview.hpp"

namespace {
int g_runs = 0;
orv::RunResult failing_runner(const orv::ExifToolRun&) {
    ++g_runs;
    return orv::fail(orv::IoError{"system Perl library not found"});
}
}  // namespace

TEST(EmbeddedPreview, StopsAtTheFirstRunThatCannotTakePlace) {
    orv::process::testing::set_exiftool_script("/opt/exiftool/exiftool");
    orv::process::testing::set_exiftool_runner(failing_runner);
    EXPECT_FALSE(orv::preview_jpeg("/photos/shot.cr2", 1));
    EXPECT_EQ(g_runs, 1);
}
