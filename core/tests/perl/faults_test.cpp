// Faults around the in-process runner: no capture files can be made, and
// ExifTool dies on its own.
#include <gtest/gtest.h>

#include "host_support.hpp"
#include "orv_ql.h"
#include "tag_map.hpp"

using namespace orv;
using namespace orv::test;

TEST(InProcessFaults, TemporaryFolderThatIsNotAFolderFailsEveryRunCleanly) {
    ASSERT_TRUE(init_with_staged_exiftool());
    TempDir tmp;
    write_file(tmp / "file", "x");
    ScopedEnv env("TMPDIR", (tmp / "file").string());
    EXPECT_EQ(inspect_text(corpus("exiftool-t/Canon.jpg")), R"({"error":"failed to run exiftool: Not a directory"})");
    EXPECT_EQ(selftest(), "failed: Not a directory");
    size_t length = 0;
    EXPECT_EQ(orv_ql_preview(corpus("exiftool-t/FujiFilm.raf").c_str(), 1, &length), nullptr);
}

TEST(InProcessFaults, MissingScriptGivesAParseErrorNotACrash) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    EXPECT_TRUE(orv_ql_init((tmp / "no-such-exiftool").c_str()));
    const std::string envelope = inspect_text(corpus("exiftool-t/Canon.jpg"));
    EXPECT_EQ(envelope.rfind(R"({"error":"failed to parse exiftool output: )", 0), 0u) << envelope;
    EXPECT_EQ(selftest().rfind("status=Some(2) out=\"\" err=\"Can't open perl script", 0), 0u) << selftest();
}
