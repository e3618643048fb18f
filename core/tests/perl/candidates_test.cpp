#include <gtest/gtest.h>

#include "host_support.hpp"
#include "exiftool/perl.hpp"

using namespace orv;
using namespace orv::test;

namespace {

const std::string kLibDir = ORVQL_PERL_LIB_DIR;
const std::string kFallback = kLibDir + "/libperl.so.5.36";

std::vector<std::string> candidates_for(const std::vector<std::string>& folder_names) {
    TempDir tree;
    for (const auto& name : folder_names) fs::create_directory(tree / name);
    perl::set_scan_dir_for_testing(tree.path());
    return perl::candidate_libraries();
}

}  // namespace

TEST(Candidates, HighestVersionFirstThenTheFixedFallback) {
    const auto found = candidates_for({"5.18", "Extras", "5.30", "5.x", "5.34", "+5", "5..30", ".5", "5.",
                                       "5.30.1", "++5", "5.-1", "5 .1", "4294967296", "4294967295"});
    EXPECT_EQ(found, (std::vector<std::string>{
                         kLibDir + "/libperl.so.4294967295", kLibDir + "/libperl.so.5.34",
                         kLibDir + "/libperl.so.5.30.1", kLibDir + "/libperl.so.5.30",
                         kLibDir + "/libperl.so.5.18", kLibDir + "/libperl.so.+5", kFallback}));
}

TEST(Candidates, FallbackIsAlwaysLastAndAloneWhenNothingIsVersionLike) {
    EXPECT_EQ(candidates_for({"5.36", "5.34", "Extras", "5.x"}),
              (std::vector<std::string>{kLibDir + "/libperl.so.5.36", kLibDir + "/libperl.so.5.34", kFallback}));
    EXPECT_EQ(candidates_for({"Extras", "cross-config-5.36.0", "5.x"}), (std::vector<std::string>{kFallback}));
    perl::set_scan_dir_for_testing("/nonexistent/perl");
    EXPECT_EQ(perl::candidate_libraries(), (std::vector<std::string>{kFallback}));
}

TEST(Candidates, EqualVersionsKeepTheirListingOrder) {
    EXPECT_EQ(perl::rank_version_names({"5.30", "05.30", "5.34", "5.+30", "5.030.0"}),
              (std::vector<std::string>{"5.34", "5.030.0", "5.30", "05.30", "5.+30"}));
    EXPECT_EQ(perl::rank_version_names({"5.+30", "05.30", "5.30"}),
              (std::vector<std::string>{"5.+30", "05.30", "5.30"}));
}
