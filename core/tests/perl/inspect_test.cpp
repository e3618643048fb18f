// Whole inspections with ExifTool in-process give the same envelopes as with
// ExifTool as child processes (orv-ql without --exiftool), also when many
// threads inspect at once.
#include <thread>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
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

std::string inspect(const std::string& path) {
    return inspect_text(path);
}

// The envelope the command-line tool prints with ExifTool as child processes.
std::string inspect_as_children(const std::string& path) {
    auto run = run_child(ORVQL_ORV_QL, {"inspect", path});
    if (!run || !run->success()) return "<orv-ql failed>";
    std::string out = run->out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

TEST(InProcessInspection, SameEnvelopesAsChildProcessesAlsoFromManyThreads) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    std::vector<std::string> expected;
    for (const auto& f : kFiles) expected.push_back(inspect_as_children(corpus(f).string()));

    ASSERT_TRUE(init_with_staged_exiftool());
    for (size_t i = 0; i < kFiles.size(); ++i) {
        EXPECT_EQ(inspect(corpus(kFiles[i]).string()), expected[i]) << kFiles[i];
    }

    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < 20; ++k) {
                const size_t i = (t * 3 + k) % kFiles.size();
                if (inspect(corpus(kFiles[i]).string()) != expected[i]) ++mismatches[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches, std::vector<int>(8, 0));
    // Every run cleaned up after itself.
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "nothing is left in the temporary folder";
}
