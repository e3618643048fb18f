#include <signal.h>

#include <gtest/gtest.h>

#include "orv_ql.h"
#include "selftest.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

TEST(Selftest, HealthyRunWithDebiansExifTool) {
    // The real exiftool from PATH, as a machine without orv_ql_init has it.
    EXPECT_EQ(selftest(), healthy_selftest(path_exiftool_version()));
}

TEST(Selftest, AsksForTheVersionOnlyAndReportsWhatCameBack) {
    const std::pair<FakeExifTool::Reply, const char*> cases[] = {
        {{.out = "12.57\n"}, R"(status=Some(0) out="12.57" err="")"},
        // Inner line breaks escaped, ends trimmed.
        {{.out = "\n12.57\nextra line\r\n", .err = "  warn\ting \n"}, R"(status=Some(0) out="12.57\nextra line" err="warn\ting")"},
        {{.err = "Error: \"bad\" thing\n", .exit_code = 1}, R"(status=Some(1) out="" err="Error: \"bad\" thing")"},
        {{.signal = SIGKILL}, R"(status=None out="" err="")"},  // killed: no status code
        {{.out = "12.57\xFF"}, "status=Some(0) out=\"12.57\xEF\xBF\xBD\" err=\"\""},
    };
    for (const auto& [reply, text] : cases) {
        FakeExifTool fake;
        fake.on({"-ver"}, reply);
        EXPECT_EQ(selftest(), text);
        EXPECT_EQ(fake.runs(), (std::vector<std::vector<std::string>>{{"-ver"}})) << text;
    }
}

TEST(Selftest, MissingProgramSaysFailed) {
    TempDir empty;
    ScopedEnv path("PATH", empty.path().string());
    EXPECT_EQ(selftest(), "failed: No such file or directory");
}

TEST(Selftest, QuotingEscapesWhatDoesNotPrint) {
    EXPECT_EQ(debug_quote("a\\b\"c"), R"("a\\b\"c")");
    EXPECT_EQ(debug_quote(std::string("x\0y", 3)), R"("x\0y")");
    EXPECT_EQ(debug_quote("\x01\x7f\xC2\x85"), R"("\u{1}\u{7f}\u{85}")");
    EXPECT_EQ(debug_quote("\xE2\x80\x8B"), R"("\u{200b}")");  // zero-width space
    EXPECT_EQ(debug_quote("caf\xC3\xA9 \xE2\x9C\x93 '"), "\"caf\xC3\xA9 \xE2\x9C\x93 '\"");
}
