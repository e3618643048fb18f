// An ExifTool that cannot run at all ends the search at once. This sets the
// process-wide runner cells, so it is a program of its own.
#include <gtest/gtest.h>

#include "exiftool/command.hpp"
#include "preview/preview.hpp"

namespace {
int g_runs = 0;
orv::RunResult failing_runner(const std::vector<std::string>&) {
    ++g_runs;
    return orv::fail(orv::IoError{"system Perl library not found"});
}
}  // namespace

TEST(EmbeddedPreview, StopsAtTheFirstRunThatCannotTakePlace) {
    orv::EXIFTOOL_SCRIPT.set("/opt/exiftool/exiftool");
    orv::EXIFTOOL_RUNNER.set(failing_runner);
    EXPECT_FALSE(orv::preview_jpeg("/photos/shot.cr2", 1));
    EXPECT_EQ(g_runs, 1);
}
