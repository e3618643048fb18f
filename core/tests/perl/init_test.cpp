#include <signal.h>

#include <gtest/gtest.h>

#include "host_support.hpp"
#include "orv_ql.h"
#include "exiftool/perl.hpp"

using namespace orv;
using namespace orv::test;

namespace {
void host_fpe_handler(int) {}
}  // namespace

TEST(Init, BadPathsChangeNothingThenTheFirstRealPathWinsForGood) {
    // The host's own SIGFPE handling survives Perl's process set-up.
    struct sigaction fpe{};
    fpe.sa_handler = host_fpe_handler;
    ASSERT_EQ(::sigaction(SIGFPE, &fpe, nullptr), 0);

    FakePerlAndExifTool fake;
    fake.on({"-ver"}, {.out = "0.01\n"});
    EXPECT_FALSE(orv_ql_init(nullptr));
    EXPECT_FALSE(orv_ql_init("/opt/\xFF/exiftool"));
    EXPECT_EQ(selftest(), R"(status=Some(0) out="0.01" err="")") << "still the exiftool from PATH";
    ASSERT_EQ(fake.runs().size(), 1u);
    const std::string healthy = healthy_selftest(staged_exiftool_version());  // from a child, before counting
    const double child_cpu = children_cpu_seconds();

    const std::string script = staged_exiftool().string();
    EXPECT_TRUE(orv_ql_init(script.c_str()));
    EXPECT_TRUE(orv_ql_init("/elsewhere/exiftool")) << "later calls report the same outcome";
    EXPECT_EQ(exiftool_command().script(), script);
    EXPECT_EQ(selftest(), healthy);

    EXPECT_EQ(fake.runs().size(), 1u) << "no exiftool or perl from PATH after init";
    EXPECT_EQ(children_cpu_seconds(), child_cpu) << "no child process at all after init";
    struct sigaction now{};
    ::sigaction(SIGFPE, nullptr, &now);
    EXPECT_EQ(now.sa_handler, &host_fpe_handler);
}

TEST(Init, ThisMachineOffersItsInstalledPerlFirst) {
    // Debian: perl/X.Y.Z and its alias perl/X.Y, then the fixed fallback.
    const std::string lib = ORVQL_PERL_LIB_DIR;
    const auto candidates = perl::candidate_libraries();
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_EQ(candidates[0], lib + "/libperl.so." + system_perl_version());
    EXPECT_EQ(candidates[1], lib + "/libperl.so." + system_perl_major_minor());
}
