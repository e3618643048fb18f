// Every corpus file inspected by one resident ExifTool gives, byte for byte,
// the envelope that fresh child processes give.
#include <algorithm>
#include <sstream>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/command.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(ResidentCorpus, EveryFileGivesTheEnvelopeOfChildRuns) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(corpus())) {
        if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 300u);

    std::vector<std::string> child_args{"inspect"}, resident_args{"--resident", "inspect"};
    child_args.insert(child_args.end(), files.begin(), files.end());
    resident_args.insert(resident_args.end(), files.begin(), files.end());
    // Whole tool runs here, not single ExifTool runs: far longer than one may take.
    const auto as_children = run_program(ORVQL_ORV_QL, child_args, std::chrono::hours(1));
    const auto as_resident = run_program(ORVQL_ORV_QL, resident_args, std::chrono::hours(1));
    ASSERT_TRUE(as_children && as_children->success());
    ASSERT_TRUE(as_resident && as_resident->success()) << (as_resident ? as_resident->err : "");
    const auto expected = lines_of(as_children->out), seen = lines_of(as_resident->out);
    ASSERT_EQ(expected.size(), files.size());
    ASSERT_EQ(seen.size(), files.size());
    size_t differing = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (seen[i] != expected[i] && ++differing <= 5) ADD_FAILURE() << files[i] << "\n" << seen[i] << "\n" << expected[i];
    }
    EXPECT_EQ(differing, 0u);
}
