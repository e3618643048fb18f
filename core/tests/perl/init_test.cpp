// Finding and loading the system's Perl library, and what orv_ql_init makes
// of it: candidates in order, unloadable ones skipped, a missing Perl final,
// and the first real script kept for good.
#include <signal.h>

#include <thread>

#include <gtest/gtest.h>

#include "exiftool/perl.hpp"
#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

const std::string kLibDir = ORVQL_PERL_LIB_DIR;
const std::string kFallback = kLibDir + "/libperl.so.5.36";

// The libraries offered when the scanned folder holds these folders.
std::vector<std::string> candidates_for(const std::vector<std::string>& folder_names) {
    TempDir tree;
    for (const auto& name : folder_names) fs::create_directory(tree / name);
    perl::set_scan_dir_for_testing(tree.path());
    std::vector<std::string> names;
    const std::string prefix = kLibDir + "/libperl.so.";
    for (const auto& c : perl::candidate_libraries()) names.push_back(c.starts_with(prefix) ? c.substr(prefix.size()) : c);
    return names;
}

void host_fpe_handler(int) {}

}  // namespace

TEST(Candidates, HighestVersionFirstThenTheFixedFallbackAlwaysLast) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(candidates_for({"5.18", "Extras", "5.30", "5.x", "5.34", "+5", "5..30", ".5", "5.", "5.30.1", "++5",
                              "5.-1", "5 .1", "4294967296", "4294967295"}),
              (Names{"4294967295", "5.34", "5.30.1", "5.30", "5.18", "+5", "5.36"}));
    EXPECT_EQ(candidates_for({"5.36", "5.34", "Extras", "5.x"}), (Names{"5.36", "5.34", "5.36"}));
    EXPECT_EQ(candidates_for({"Extras", "cross-config-5.36.0", "5.x"}), (Names{"5.36"}));
    perl::set_scan_dir_for_testing("/nonexistent/perl");
    EXPECT_EQ(perl::candidate_libraries(), (Names{kFallback}));
    // Equal versions keep their listing order.
    EXPECT_EQ(perl::rank_version_names({"5.30", "05.30", "5.34", "5.+30", "5.030.0"}),
              (Names{"5.34", "5.030.0", "5.30", "05.30", "5.+30"}));
    EXPECT_EQ(perl::rank_version_names({"5.+30", "05.30", "5.30"}), (Names{"5.+30", "05.30", "5.30"}));
}

TEST(Candidates, ThisMachineOffersItsInstalledPerlFirst) {
    // Debian: perl/X.Y.Z and its alias perl/X.Y, then the fixed fallback.
    const auto candidates = perl::candidate_libraries();
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_EQ(candidates[0], kLibDir + "/libperl.so." + system_perl_version());
    EXPECT_EQ(candidates[1], kLibDir + "/libperl.so." + system_perl_major_minor());
}

TEST(Init, BadPathsChangeNothingThenTheFirstRealPathWinsForGood) {
    // The host's own SIGFPE handling survives Perl's process set-up.
    struct sigaction fpe{};
    fpe.sa_handler = host_fpe_handler;
    ASSERT_EQ(::sigaction(SIGFPE, &fpe, nullptr), 0);

    FakeExifTool fake(/*perl_too=*/true);
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

TEST(Init, UnloadableCandidatesAreSkippedAndConcurrentInitsAgree) {
    TempDir tree;
    fs::create_directory(tree / "9.99.9");  // no such library: the fixed fallback must be reached
    perl::set_scan_dir_for_testing(tree.path());
    std::vector<std::thread> threads;
    std::vector<char> results(8, 0);
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = orv_ql_init(staged_exiftool().c_str()); });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(results, std::vector<char>(8, 1));
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
}

TEST(Init, WithoutPerlInitFailsForTheWholeProcessAndEveryRunSaysWhy) {
    // A version folder without a library behind it, and a fallback that loads
    // but is not Perl.
    const std::string system_library = kLibDir + "/libperl.so." + system_perl_major_minor();
    const double child_cpu = children_cpu_seconds();  // the version query above was a child
    TempDir tree;
    fs::create_directory(tree / "9.99.9");
    perl::set_scan_dir_for_testing(tree.path());
    perl::set_fallback_library_for_testing(kLibDir + "/libz.so.1");
    FakeExifTool fake(/*perl_too=*/true);
    fake.on({}, {.out = "from a child"});

    EXPECT_FALSE(orv_ql_init(staged_exiftool().c_str()));
    const auto run = exiftool_command().arg("-j").arg(corpus("exiftool-t/Canon.jpg").string()).output();
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().message, "system Perl library not found");
    EXPECT_EQ(selftest(), "failed: system Perl library not found");

    // The outcome is final, even once a library could be found.
    perl::set_scan_dir_for_testing(kLibDir + "/perl");
    perl::set_fallback_library_for_testing(system_library);
    EXPECT_FALSE(orv_ql_init(staged_exiftool().c_str()));
    EXPECT_EQ(selftest(), "failed: system Perl library not found");
    EXPECT_TRUE(fake.runs().empty()) << "no fallback to a child process";
    EXPECT_EQ(children_cpu_seconds(), child_cpu);
}
