// Every corpus file inspected by one resident ExifTool gives, byte for byte,
// the envelope that fresh child processes give.
#include <algorithm>
#include <sstream>

#include <gtest/gtest.h>

#include "test_support.hpp"

using namespace orv::test;

TEST(ResidentCorpus, EveryFileGivesTheEnvelopeOfChildRuns) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(corpus())) {
        if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 300u);
    // orv-ql's lines for every file. Whole tool runs here, not single
    // ExifTool runs: far longer than one may take.
    const auto envelopes = [&](std::vector<std::string> args) {
        args.insert(args.end(), files.begin(), files.end());
        const auto run = run_program(ORVQL_ORV_QL, args, std::chrono::hours(1));
        EXPECT_TRUE(run && run->success()) << (run ? run->err : run.error().message);
        std::vector<std::string> lines;
        std::istringstream in(run ? run->out : "");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    const auto expected = envelopes({"inspect"}), seen = envelopes({"--resident", "inspect"});
    ASSERT_EQ(expected.size(), files.size());
    ASSERT_EQ(seen.size(), files.size());
    size_t differing = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (seen[i] != expected[i] && ++differing <= 5) ADD_FAILURE() << files[i] << "\n" << seen[i] << "\n" << expected[i];
    }
    EXPECT_EQ(differing, 0u);
}
