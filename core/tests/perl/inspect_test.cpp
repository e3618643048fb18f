// Whole inspections with ExifTool in-process give the same envelopes as with
// ExifTool as child processes (orv-ql without --exiftool), also when many
// threads inspect at once.
#include <gtest/gtest.h>

#include "host_support.hpp"
#include "orv_ql.h"

using namespace orv;
using namespace orv::test;

namespace {

const std::vector<std::string> kFiles = {
    "exiftool-t/Canon1DmkIII.jpg", "exiftool-t/Nikon.nef",   "exiftool-t/FujiFilm.raf",
    "exiftool-t/Pentax.jpg",       "exiftool-t/XMP.jpg",     "exiftool-t/OlympusE1.jpg",
    "exif-samples/jpg/hdr/canon_hdr_YES.jpg", "metadata-extractor/jpg/FujiFilm FinePix F40fd.jpg",
};

}  // namespace

TEST(InProcessInspection, SameEnvelopesAsChildProcessesAlsoFromManyThreads) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    std::vector<std::string> expected;
    for (const auto& f : kFiles) expected.push_back(inspect_as_children(ORVQL_ORV_QL, corpus(f).string()));

    ASSERT_TRUE(init_with_staged_exiftool());
    for (size_t i = 0; i < kFiles.size(); ++i) {
        EXPECT_EQ(inspect_text(corpus(kFiles[i]).string()), expected[i]) << kFiles[i];
    }

    const auto mismatches = mismatches_across_threads(
        expected, [&](size_t i) { return inspect_text(corpus(kFiles[i]).string()); }, 8, 20, 3);
    EXPECT_EQ(mismatches, std::vector<std::vector<size_t>>(8)) << "indices into the files, thread by thread";
    // Every run cleaned up after itself.
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "nothing is left in the temporary folder";
}
