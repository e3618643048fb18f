// Faults around the in-process runner: no capture files can be made, and
// ExifTool dies on its own.
#include <gtest/gtest.h>

#include "orv_ql.h"
#include "metadata/tag_map.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

TEST(InProcessFaults, NoUsableTemporaryFolderTakesNothingAway) {
    // As in a sandbox that shows none of the folders the session names.
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir tmp;
    write_file(tmp / "file", "x");
    ScopedEnv tmpdir("TMPDIR", (tmp / "file").string());
    ScopedEnv runtime("XDG_RUNTIME_DIR", (tmp / "missing").string());
    const json f = json::parse(inspect_text(corpus("exiftool-t/FujiFilm.raf").string())).value("file", json::object());
    EXPECT_EQ(f.value("make", ""), "FUJIFILM");
    EXPECT_EQ(f.value("lookName", ""), "Provia");
    EXPECT_EQ(f["makerNotes"].value("brand", ""), "Fujifilm");
    size_t length = 0;
    uint8_t* jpeg = orv_ql_preview(corpus("exiftool-t/FujiFilm.raf").c_str(), 1, &length);
    EXPECT_NE(jpeg, nullptr);
    orv_ql_free_bytes(jpeg, length);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}

TEST(InProcessFaults, MissingScriptGivesAParseErrorNotACrash) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    EXPECT_TRUE(orv_ql_init((tmp / "no-such-exiftool").c_str()));
    const std::string envelope = inspect_text(corpus("exiftool-t/Canon.jpg"));
    EXPECT_EQ(envelope.rfind(R"({"error":"failed to parse exiftool output: )", 0), 0u) << envelope;
    EXPECT_EQ(selftest().rfind("status=Some(2) out=\"\" err=\"Can't open perl script", 0), 0u) << selftest();
}
