#include <cstdlib>

#include <gtest/gtest.h>

#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::string inspect(const char* path) {
    char* text = orv_ql_inspect(path);
    EXPECT_NE(text, nullptr);
    std::string s = text ? text : "";
    orv_ql_free_string(text);
    return s;
}

}  // namespace

TEST(EntryPoints, MissingOrNonUtf8PathIsNoFile) {
    FakeExifTool fake;
    EXPECT_EQ(inspect(nullptr), R"({"error":"No file"})");
    EXPECT_EQ(inspect("/tmp/caf\xE9.jpg"), R"({"error":"No file"})");
    EXPECT_TRUE(fake.runs().empty()) << "no ExifTool run for a path that never reaches the core";
}

TEST(EntryPoints, PictureCallsRefuseBadArgumentsWithoutWorkOrTouchingTheLength) {
    TempDir tmp;
    FakeExifTool fake;
    const std::string raw = (tmp / "shot.cr2").string();
    write_file(raw, "raw");
    size_t length = 77;
    EXPECT_EQ(orv_ql_preview(nullptr, 1, &length), nullptr);
    EXPECT_EQ(orv_ql_preview("/tmp/\xFF.jpg", 1, &length), nullptr);
    EXPECT_EQ(orv_ql_preview(raw.c_str(), 1, nullptr), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(raw.c_str(), 256, nullptr), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(nullptr, 256, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail("/tmp/\xFF.cr2", 256, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(raw.c_str(), 0, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(raw.c_str(), 4097, &length), nullptr);
    EXPECT_TRUE(fake.runs().empty()) << "refused before ExifTool was asked";
    EXPECT_EQ(orv_ql_preview(raw.c_str(), 1, &length), nullptr);
    EXPECT_FALSE(fake.runs().empty()) << "with a length the same call does ask";
    EXPECT_EQ(orv_ql_preview("/nonexistent/x.jpg", 1, &length), nullptr);
    EXPECT_EQ(length, 77u);
}

TEST(EntryPoints, ReleaseFunctionsIgnoreNullAndAZeroLength) {
    orv_ql_free_string(nullptr);
    orv_ql_free_bytes(nullptr, 10);
    // A caller may hold a pointer that is not ours with a length of 0:
    // freeing it would abort the process.
    uint8_t not_ours[4] = {};
    orv_ql_free_bytes(not_ours, 0);
    char* text = orv_ql_selftest();
    ASSERT_NE(text, nullptr);
    orv_ql_free_string(text);
}
