// Whole inspections with ExifTool in-process give the same envelopes as with
// ExifTool as child processes (orv-ql without --exiftool). (Many threads at
// once: the stress test, built in-process as perl_stress_test.)
#include <gtest/gtest.h>

#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

const std::vector<std::string> kFiles = {
    "exiftool-t/Canon1DmkIII.jpg", "exiftool-t/Nikon.nef",   "exiftool-t/FujiFilm.raf",
    "exiftool-t/Pentax.jpg",       "exiftool-t/XMP.jpg",     "exiftool-t/OlympusE1.jpg",
    "exif-samples/jpg/hdr/canon_hdr_YES.jpg", "metadata-extractor/jpg/FujiFilm FinePix F40fd.jpg",
};

}  // namespace

TEST(InProcessInspection, SameEnvelopesAsChildProcesses) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    std::vector<std::string> expected;
    for (const auto& f : kFiles) expected.push_back(inspect_as_children(ORVQL_ORV_QL, corpus(f).string()));

    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    for (size_t i = 0; i < kFiles.size(); ++i) {
        EXPECT_EQ(inspect_text(corpus(kFiles[i]).string()), expected[i]) << kFiles[i];
    }
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "nothing is left in the temporary folder";
}
