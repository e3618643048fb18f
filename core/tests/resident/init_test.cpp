// Choosing the resident mode: arguments checked as for the in-process mode,
// the first successful choice of either kind kept, and a script that does
// not answer leaving the choice open. Each test runs in a process of its own.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/state.hpp"
#include "orv_ql.h"
#include "exiftool/resident.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

bool libperl_mapped() {
    return read_file("/proc/self/maps").find("libperl") != std::string::npos;
}

}  // namespace

TEST(ResidentInit, NullOrInvalidPathsSetNothing) {
    FakeExifTool fake;
    fake.on({"-ver"}, {.out = "fake\n"});
    EXPECT_FALSE(orv_ql_init_resident(nullptr));
    EXPECT_FALSE(orv_ql_init_resident("/opt/\xff/exiftool"));
    EXPECT_EQ(selftest(), "status=Some(0) out=\"fake\" err=\"\"");
    EXPECT_EQ(fake.runs(), (std::vector<std::vector<std::string>>{{"-ver"}}));
    EXPECT_TRUE(fake.starts().empty());
}

TEST(ResidentInit, ResidentModeStaysWhenInProcessIsAskedLater) {
    ASSERT_TRUE(orv_ql_init_resident(staged_exiftool().c_str()));
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
    EXPECT_TRUE(orv_ql_init(staged_exiftool().c_str())) << "reports that the mode in force works";
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
    EXPECT_FALSE(libperl_mapped()) << "no run went in-process";
    // The tag read's resident (with the look config) was started at
    // initialisation, before any file asked for it.
    EXPECT_TRUE(eventually([] { return resident::live_count() == 2; }));
}

TEST(ResidentInit, ChildModeRunsAFreshPerlPerRun) {
    ASSERT_TRUE(orv_ql_init_child(staged_exiftool().c_str()));
    EXPECT_TRUE(orv_ql_init_resident(staged_exiftool().c_str())) << "reports that the mode in force works";
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
    EXPECT_FALSE(libperl_mapped());
    EXPECT_EQ(resident::live_count(), 0u);
}

TEST(ResidentInit, InProcessModeStaysWhenResidentIsAskedLater) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    EXPECT_TRUE(orv_ql_init_resident("/elsewhere/exiftool")) << "reports that the mode in force works";
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
    EXPECT_TRUE(libperl_mapped());
    EXPECT_EQ(resident::live_count(), 0u);
}

TEST(ResidentInit, AScriptThatDoesNotAnswerLeavesTheChoiceOpen) {
    TempDir tmp;
    write_file(tmp / "not-exiftool", "exit 3;\n");
    EXPECT_FALSE(orv_ql_init_resident((tmp / "not-exiftool").c_str()));
    EXPECT_FALSE(orv_ql_init_resident((tmp / "missing").c_str()));
    EXPECT_EQ(process::exiftool_script(), nullptr);
    ASSERT_TRUE(orv_ql_init_resident(staged_exiftool().c_str()));
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
}

TEST(ResidentInit, WithoutPerlTheCallerCanStillChooseInProcess) {
    // /usr/bin/perl hidden in a mount namespace of this process only.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string expected = healthy_selftest(staged_exiftool_version());
    ASSERT_EQ(::mount("/dev/null", "/usr/bin/perl", nullptr, MS_BIND, nullptr), 0);
    EXPECT_FALSE(orv_ql_init_resident(staged_exiftool().c_str()));
    EXPECT_EQ(resident::live_count(), 0u);
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    EXPECT_EQ(selftest(), expected);
}
