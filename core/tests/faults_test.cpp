// What goes wrong around ExifTool run as a child: it dies mid-run, it is
// missing, the file changes between runs. Each gives its documented result
// and the process lives on. (No usable temporary folder: perl/faults_test.)
#include <signal.h>

#include <gtest/gtest.h>

#include "orv_ql.h"
#include "metadata/tag_map.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

json inspect(const std::string& path) {
    return json::parse(inspect_text(path));
}

bool has_preview(const std::string& path) {
    size_t length = 0;
    uint8_t* bytes = orv_ql_preview(path.c_str(), 1, &length);
    orv_ql_free_bytes(bytes, length);
    return bytes != nullptr;
}

// Inspects a copy of a RAW file, named `name`, with an exiftool first on PATH
// that runs the real one but first does `action` to the file whenever the
// run is the keyword query (the second of an inspection's runs). Returns
// the envelope.
json inspect_changed_between_runs(const TempDir& dir, const std::string& name, const std::string& action) {
    fs::copy_file(corpus("exiftool-t/FujiFilm.raf"), dir / name);
    fs::create_directories(dir / "bin");
    write_file(dir / "bin" / "exiftool",
               "#!/bin/sh\n"
               "for a; do last=$a; [ \"$a\" = -XMP-dc:Subject ] && query=1; done\n"
               "[ -n \"$query\" ] && " + action + " \"$last\"\n"
               "exec /usr/bin/exiftool \"$@\"\n");
    fs::permissions(dir / "bin" / "exiftool", fs::perms::owner_all);
    ScopedEnv path("PATH", (dir / "bin").string() + ":/usr/bin:/bin");
    return inspect((dir / name).string());
}

}  // namespace

TEST(Faults, ExifToolKilledMidRun) {
    FakeExifTool fake;
    fake.on({}, {.out = "[{\"SourceFile\": \"a.jpg\", \"EXIF\": {\"Ma", .signal = SIGKILL});
    const std::string error = inspect(corpus("exiftool-t/Canon.jpg").string()).value("error", "");
    EXPECT_EQ(error.rfind("failed to parse exiftool output: ", 0), 0u) << error;
    EXPECT_FALSE(has_preview(corpus("exiftool-t/FujiFilm.raf").string()));
    EXPECT_EQ(selftest(), R"(status=None out="[{\"SourceFile\": \"a.jpg\", \"EXIF\": {\"Ma" err="")");
}

TEST(Faults, ExifToolMissing) {
    TempDir empty;
    ScopedEnv path("PATH", empty.path().string());
    EXPECT_EQ(inspect(corpus("exiftool-t/Canon.jpg").string()).dump(),
              R"({"error":"failed to run exiftool: No such file or directory"})");
}

TEST(Faults, FileDeletedOrChangedBetweenRuns) {
    TempDir dir;
    const std::string gone = (dir / "gone.raf").string(), cut = (dir / "cut.raf").string();
    EXPECT_EQ(inspect_changed_between_runs(dir, "gone.raf", "rm -f"), json({{"error", "no such file: " + gone}}));
    // Cut again on the second reading too: it keeps changing.
    EXPECT_EQ(inspect_changed_between_runs(dir, "cut.raf", "truncate -s 100"),
              json({{"error", "the file changed while it was read: " + cut}}));
    EXPECT_FALSE(has_preview(cut));
}
