// Thumbnails: the preview's own picture, decoded to the size asked for, with
// one ExifTool run for a RAW file. ExifTool runs as a child process here, so
// a wrapper first on PATH counts the runs and can spoil their output.
#include <gtest/gtest.h>

#include <algorithm>

#include "fixtures.hpp"
#include "orv_ql.h"
#include "preview/preview.hpp"

using namespace orv;
using namespace orv::test;

namespace {

const std::vector<Rgb> kTurnedClockwise = {kBlue, kRed, kWhite, kGreen};

// A RAW file carrying a 2400 x 1600 four-colour preview, stored turned (6).
fs::path raw_with_preview(const TempDir& tmp) {
    write_file(tmp / "big.jpg", make_jpeg(quadrants({2400, 1600})));
    fs::copy_file(corpus("exiftool-t/CanonRaw.cr2"), tmp / "shot.cr2");
    fs::permissions(tmp / "shot.cr2", fs::perms::owner_write, fs::perm_options::add);
    run_ok("/usr/bin/exiftool", {"-q", "-overwrite_original", "-n", "-Orientation=6",
                                 "-PreviewImage<=" + (tmp / "big.jpg").string(), (tmp / "shot.cr2").string()});
    return tmp / "shot.cr2";
}

// "exiftool" on PATH that logs each run, then runs the real one; with
// `spoil`, a run that asks for all previews at once loses its second half.
class CountingExifTool {
public:
    explicit CountingExifTool(bool spoil) {
        fs::create_directories(dir_ / "bin");
        const std::string log = (dir_ / "log").string();
        write_file(dir_ / "bin" / "exiftool",
                   "#!/bin/sh\necho run >> '" + log + "'\n" +
                       (spoil ? "case \" $* \" in *' -Orientation# '*) out=\"$(/usr/bin/exiftool \"$@\" | base64 -w0)\"; "
                                "printf %s \"$out\" | base64 -d | head -c $(( ${#out} * 3 / 8 )); exit;; esac\n"
                              : "") +
                       "exec /usr/bin/exiftool \"$@\"\n");
        fs::permissions(dir_ / "bin" / "exiftool", fs::perms::owner_all);
        path_.emplace("PATH", (dir_ / "bin").string() + ":/usr/bin:/bin");
    }
    size_t runs() const {
        const std::string log = read_file(dir_ / "log");
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }

private:
    TempDir dir_;
    std::optional<ScopedEnv> path_;
};

}  // namespace

TEST(Thumbnail, AProgressivePictureClaimingAHugeSizeStaysWithinTheBudget) {
    // A few KB whose frame header claims 13000 x 13000: a progressive
    // decoder holds every coefficient of it, some 500 MB.
    std::string jpeg = make_jpeg(quadrants({64, 48}), {.progressive = true});
    jpeg.replace(jpeg.find("\xFF\xC2") + 5, 4, "\x32\xC8\x32\xC8");
    TempDir tmp;
    write_file(tmp / "huge.jpg", jpeg);
    const auto growth = peak_growth_mib([&] { (void)thumbnail_jpeg((tmp / "huge.jpg").string(), 256); });
    if (!growth) GTEST_SKIP() << "this kernel does not let the peak resident memory be reset (/proc/self/clear_refs)";
    EXPECT_LT(*growth, 128);
}

TEST(Thumbnail, ARawFileTakesOneExifToolRunOrAfterACutAnswerOneTagAtATime) {
    for (const bool spoil : {false, true}) {
        SCOPED_TRACE(spoil ? "answer cut short" : "sound answer");
        TempDir tmp;
        const fs::path raw = raw_with_preview(tmp);
        CountingExifTool exiftool(spoil);
        const auto thumb = thumbnail_of(raw, 256);
        ASSERT_TRUE(thumb);
        EXPECT_EQ(exiftool.runs(), spoil ? 2u : 1u);  // spoilt: that run, then the first preview tag
        EXPECT_EQ(thumb->size, (Size{171, 256}));
        EXPECT_LE(quadrant_error(*thumb, kTurnedClockwise), 12);
    }
}

TEST(Thumbnail, AtThePreviewSizeItIsTheUprightPreviewByteForByte) {
    TempDir tmp;
    const fs::path raw = raw_with_preview(tmp);
    const auto thumb = thumbnail_jpeg(raw.string(), 1800);
    const auto preview = preview_jpeg(raw.string(), 6);
    ASSERT_TRUE(thumb && preview);
    EXPECT_EQ(*thumb, *preview);
    const auto p = decode_jpeg(*preview);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->size, (Size{1200, 1800}));
    EXPECT_LE(quadrant_error(*p, kTurnedClockwise), 12);
}

TEST(Thumbnail, SmallPicturesAreNeverEnlarged) {
    // Its PreviewImage is placeholder text, its JpgFromRaw an 8 x 8 JPEG,
    // which the 1800-pixel preview enlarges.
    const fs::path sigma = corpus("exiftool-t/SigmaDP2.x3f");
    const auto preview = preview_of(sigma), thumb = thumbnail_of(sigma, 256);
    ASSERT_TRUE(preview && thumb);
    EXPECT_EQ(preview->size, (Size{1800, 1800}));
    EXPECT_EQ(thumb->size, (Size{8, 8}));
    TempDir tmp;
    write_file(tmp / "wide.png", make_png(quadrants({600, 200})));
    const auto png = thumbnail_of(tmp / "wide.png", 128);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->size, (Size{128, 43}));
}

TEST(Thumbnail, CEntryPointRefusesWhatItCannotServe) {
    TempDir tmp;
    write_file(tmp / "notes.cr2", "just text\n");
    size_t length = 0;
    const std::string raf = corpus("exiftool-t/FujiFilm.raf").string();
    // Bad arguments: entry_points_test.cpp.
    EXPECT_EQ(orv_ql_thumbnail((tmp / "notes.cr2").c_str(), 128, &length), nullptr);
    EXPECT_EQ(length, 0u);
    uint8_t* jpeg = orv_ql_thumbnail(raf.c_str(), 4096, &length);
    ASSERT_NE(jpeg, nullptr);
    EXPECT_GT(length, 100u);
    orv_ql_free_bytes(jpeg, length);
}
