// Choosing the resident mode: arguments checked as for the in-process mode,
// the first successful choice of either kind kept, and a script that does
// not answer leaving the choice open. Each test runs in a process of its own.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "exiftool/state.hpp"
#include "orv_ql.h"
#include "exiftool/resident.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::string selftest() {
    char* text = orv_ql_selftest();
    std::string s = text ? text : "";
    orv_ql_free_string(text);
    return s;
}

std::string expected_selftest() {
    const auto run = run_child("/usr/bin/perl", {staged_exiftool().string(), "-ver"});
    std::string version = run ? run->out : "";
    while (!version.empty() && version.back() == '\n') version.pop_back();
    return "status=Some(0) out=\"" + version + "\" err=\"\"";
}

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
    EXPECT_EQ(selftest(), expected_selftest());
    EXPECT_TRUE(orv_ql_init(staged_exiftool().c_str())) << "reports that the mode in force works";
    EXPECT_EQ(selftest(), expected_selftest());
    EXPECT_FALSE(libperl_mapped()) << "no run went in-process";
    EXPECT_GE(resident::live_count(), 1u);
}

TEST(ResidentInit, InProcessModeStaysWhenResidentIsAskedLater) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    EXPECT_TRUE(orv_ql_init_resident("/elsewhere/exiftool")) << "reports that the mode in force works";
    EXPECT_EQ(selftest(), expected_selftest());
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
    EXPECT_EQ(selftest(), expected_selftest());
}

TEST(ResidentInit, WithoutPerlTheCallerCanStillChooseInProcess) {
    // /usr/bin/perl hidden in a mount namespace of this process only.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string expected = expected_selftest();
    ASSERT_EQ(::mount("/dev/null", "/usr/bin/perl", nullptr, MS_BIND, nullptr), 0);
    EXPECT_FALSE(orv_ql_init_resident(staged_exiftool().c_str()));
    EXPECT_EQ(resident::live_count(), 0u);
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    EXPECT_EQ(selftest(), expected);
}
