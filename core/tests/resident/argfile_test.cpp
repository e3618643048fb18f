// How arguments are written for a resident ExifTool: every line must read
// back as exactly the argument, by ExifTool's own rules for argument files.
#include <gtest/gtest.h>

#include "exiftool/argfile.hpp"

using namespace orv;

TEST(ArgfileLine, PlainWhereExifToolReadsTheLineAsWritten) {
    const struct {
        std::string arg;
        std::optional<std::string> line;
    } cases[] = {
        {"-j", "-j\n"},
        {"photo one.jpg", "photo one.jpg\n"},
        {"a$b@c.jpg", "a$b@c.jpg\n"},        // only escaped lines mangle these
        {"trailing space ", "trailing space \n"},
        {"x\\ny", "x\\ny\n"},                 // a backslash is only special when escaped
        {"\xff\xfe.jpg", "\xff\xfe.jpg\n"},   // bytes pass as they are
        // Lines ExifTool would change or skip.
        {"", "#[CSTR]\n"},
        {"  lead.jpg", "#[CSTR]  lead.jpg\n"},
        {"\tlead.jpg", "#[CSTR]\tlead.jpg\n"},
        {"#hash.jpg", "#[CSTR]#hash.jpg\n"},
        {"two\nlines.jpg", "#[CSTR]two\\nlines.jpg\n"},
        {"cr\r.jpg", "#[CSTR]cr\\r.jpg\n"},
        {"-TAG = x", "#[CSTR]-TAG = x\n"},
        {"#\\n", "#[CSTR]#\\\\n\n"},
        // Nothing can carry these.
        {std::string("nul\0.jpg", 8), std::nullopt},
        {" $HOME.jpg", std::nullopt},
        {"new\nline@host", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(argfile_line(c.arg), c.line) << c.arg;
}

TEST(ArgfileCommand, EndsWithTheStatusEchoAndTheNumberedExecute) {
    EXPECT_EQ(argfile_command({"-ver"}, 42), "-ver\n-echo4\n{orvql-status 42 ${status}}\n-execute42\n");
    EXPECT_EQ(ready_marker(42), "{ready42}\n");
    EXPECT_EQ(status_marker_prefix(42), "{orvql-status 42 ");
    EXPECT_FALSE(argfile_command({"-j", std::string("a\0b", 3)}, 1));
    // Options that would act on the resident's stream of commands.
    for (const char* arg : {"-execute", "-EXECUTE12", "-stay_open", "-@", "-common_args"}) {
        EXPECT_FALSE(argfile_command({"-ver", arg, "x"}, 1)) << arg;
    }
    EXPECT_TRUE(argfile_command({"-executeX"}, 1));
}
