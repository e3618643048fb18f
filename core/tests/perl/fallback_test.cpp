#include <thread>

#include <gtest/gtest.h>

#include "host_support.hpp"
#include "orv_ql.h"
#include "exiftool/perl.hpp"

using namespace orv;
using namespace orv::test;

TEST(FallbackPerl, UnloadableCandidatesAreSkippedAndConcurrentInitsAgree) {
    TempDir tree;
    fs::create_directory(tree / "9.99.9");  // no such library: the fixed fallback must be reached
    perl::set_scan_dir_for_testing(tree.path());

    std::vector<std::thread> threads;
    std::vector<char> results(8, 0);
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] { results[i] = init_with_staged_exiftool(); });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(results, std::vector<char>(8, 1));
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version()));
}
