// Eight threads of mixed inspections and previews at once: every result
// equals the one the same call gives alone, no descriptor is leaked, and
// nothing is left in the temporary folder. Built three times: ExifTool as
// child processes, inside the process (ORVQL_STRESS_IN_PROCESS) and as
// resident processes (ORVQL_STRESS_RESIDENT).
#include <dirent.h>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv::test;

namespace {

struct Op {
    enum Kind { Inspect, Preview } kind;
    std::string file;
    int64_t orientation = 1;
};

// One call in forty is an inspection and one a RAW preview (both run
// ExifTool); the rest decode JPEG, PNG and TIFF files directly, turned by
// every orientation code, one of them too damaged to give a picture.
std::vector<Op> workload() {
    std::vector<Op> ops = {
        {Op::Inspect, corpus("exiftool-t/Canon1DmkIII.jpg").string()},
        {Op::Preview, corpus("exiftool-t/FujiFilm.raf").string()},
        {Op::Preview, corpus("metadata-extractor/odd-jpeg/138d3b9e0d9fbf641b8135981e597c3a.jpg").string()},
        {Op::Preview, corpus("exiftool-t/PNG.png").string(), 3},
    };
    std::vector<std::string> pictures;
    for (auto folder : {"exif-samples/jpg", "exif-samples/jpg/orientation", "exif-samples/tiff"}) {
        for (const auto& e : fs::directory_iterator(corpus(folder))) {
            if (e.is_regular_file() && e.path().extension() != "") pictures.push_back(e.path().string());
        }
    }
    std::sort(pictures.begin(), pictures.end());
    for (size_t i = 0; ops.size() < 40 && i < pictures.size(); ++i) {
        ops.push_back({Op::Preview, pictures[i], static_cast<int64_t>(i % 10)});
    }
    return ops;
}

// The call's whole result as bytes: the envelope, or the JPEG ("none" when
// there is no picture).
std::string run(const Op& op) {
    if (op.kind == Op::Inspect) {
        return inspect_text(op.file);
    }
    size_t length = 0;
    uint8_t* bytes = orv_ql_preview(op.file.c_str(), op.orientation, &length);
    if (!bytes) return "none";
    std::string s(reinterpret_cast<const char*>(bytes), length);
    orv_ql_free_bytes(bytes, length);
    return s;
}

size_t open_descriptors() {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) (void)e, ++n;
    return n;
}

}  // namespace

TEST(Stress, EightThreadsOfMixedCallsMatchTheirSingleThreadedResults) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
#if defined(ORVQL_STRESS_IN_PROCESS)
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
#elif defined(ORVQL_STRESS_RESIDENT)
    ASSERT_TRUE(orv_ql_init_resident(staged_exiftool().c_str()));
#endif
    const auto ops = workload();
    std::vector<std::string> expected;
    for (const auto& op : ops) expected.push_back(run(op));
    EXPECT_NE(expected[0].find("\"file\""), std::string::npos) << expected[0];
    EXPECT_EQ(expected[2], "none") << "the damaged JPEG has no picture";
    EXPECT_EQ(ops.size(), 40u);

    const size_t descriptors = open_descriptors();
    // Thread t makes 200 calls, starting at op 7t; each result that differs
    // from the single-threaded one is noted by its op's index.
    std::vector<std::vector<size_t>> mismatches(8);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < 200; ++k) {
                const size_t i = (t * 7 + k) % ops.size();
                if (run(ops[i]) != expected[i]) mismatches[t].push_back(i);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches, std::vector<std::vector<size_t>>(8)) << "indices into the workload, thread by thread";
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}
