#include <gtest/gtest.h>

#include "host_support.hpp"
#include "orv_ql.h"
#include "exiftool/perl.hpp"

using namespace orv;
using namespace orv::test;

TEST(MissingPerl, InitFailsForTheWholeProcessAndEveryRunSaysWhy) {
    // A version folder without a library behind it, and a fallback that loads
    // but is not Perl.
    const std::string system_library = ORVQL_PERL_LIB_DIR "/libperl.so." + system_perl_major_minor();
    const double child_cpu = children_cpu_seconds();  // the version query above was a child
    TempDir tree;
    fs::create_directory(tree / "9.99.9");
    perl::set_scan_dir_for_testing(tree.path());
    perl::set_fallback_library_for_testing(ORVQL_PERL_LIB_DIR "/libz.so.1");
    FakePerlAndExifTool fake;
    fake.on({}, {.out = "from a child"});

    EXPECT_FALSE(orv_ql_init(staged_exiftool().c_str()));
    const auto run = exiftool_command().arg("-j").arg(corpus("exiftool-t/Canon.jpg").string()).output();
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().message, "system Perl library not found");
    EXPECT_EQ(selftest(), "failed: system Perl library not found");

    // The outcome is final, even once a library could be found.
    perl::set_scan_dir_for_testing(ORVQL_PERL_LIB_DIR "/perl");
    perl::set_fallback_library_for_testing(system_library);
    EXPECT_FALSE(orv_ql_init(staged_exiftool().c_str()));
    EXPECT_EQ(selftest(), "failed: system Perl library not found");
    EXPECT_TRUE(fake.runs().empty()) << "no fallback to a child process";
    EXPECT_EQ(children_cpu_seconds(), child_cpu);
}
