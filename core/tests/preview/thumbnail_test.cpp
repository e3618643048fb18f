// Thumbnails: the preview's own picture, decoded to the size asked for, with
// one ExifTool run for a RAW file. ExifTool runs as a child process here, so
// a wrapper first on PATH counts the runs and can spoil their output.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "fixtures.hpp"
#include "orv_ql.h"
#include "preview/preview.hpp"

using namespace orv;
using namespace orv::test;

namespace {

// A RAW file carrying a 2400 x 1600 four-colour preview, stored turned (6).
fs::path raw_with_preview(const TempDir& tmp) {
    write_file(tmp / "big.jpg", make_jpeg(quadrants({2400, 1600})));
    fs::copy_file(corpus("exiftool-t/CanonRaw.cr2"), tmp / "shot.cr2");
    fs::permissions(tmp / "shot.cr2", fs::perms::owner_write, fs::perm_options::add);
    const auto wrote = run_child("/usr/bin/exiftool", {"-q", "-overwrite_original", "-n", "-Orientation=6",
                                                       "-PreviewImage<=" + (tmp / "big.jpg").string(),
                                                       (tmp / "shot.cr2").string()});
    EXPECT_TRUE(wrote && wrote->success());
    return tmp / "shot.cr2";
}

// "exiftool" on PATH that logs each run, then runs the real one; with
// `spoil`, a run that asks for all previews at once loses its second half.
class CountingExifTool {
public:
    explicit CountingExifTool(bool spoil = false) {
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

std::optional<Picture> thumbnail_of(const fs::path& path, uint32_t size) {
    const auto jpeg = thumbnail_jpeg(path.string(), size);
    if (!jpeg) return std::nullopt;
    return decode_jpeg(std::string(jpeg->begin(), jpeg->end()));
}

// How far the peak resident memory of a child process rises above where it
// started while it makes a thumbnail of `path`, in MiB.
long thumbnail_peak_growth_mib(const fs::path& path, uint32_t size) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        long start_kib = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) start_kib = std::stol(line.substr(6));
        }
        (void)thumbnail_jpeg(path.string(), size);
        struct rusage usage {};
        ::getrusage(RUSAGE_SELF, &usage);
        const long growth = (usage.ru_maxrss - start_kib) / 1024;
        (void)!::write(fds[1], &growth, sizeof growth);
        ::_exit(0);
    }
    ::close(fds[1]);
    long growth = -1;
    if (::read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return growth;
}

}  // namespace

TEST(Thumbnail, AProgressivePictureClaimingAHugeSizeStaysWithinTheBudget) {
    // A few KB whose frame header claims 13000 x 13000: a progressive
    // decoder holds every coefficient of it, some 500 MB.
    std::string jpeg = make_jpeg(quadrants({64, 48}), {.progressive = true});
    jpeg.replace(jpeg.find("\xFF\xC2") + 5, 4, "\x32\xC8\x32\xC8");
    TempDir tmp;
    write_file(tmp / "huge.jpg", jpeg);
    const long growth = thumbnail_peak_growth_mib(tmp / "huge.jpg", 256);
    ASSERT_GE(growth, 0);
    EXPECT_LT(growth, 128);
}

TEST(Thumbnail, ARawFileTakesOneExifToolRunAndComesOutUpright) {
    TempDir tmp;
    const fs::path raw = raw_with_preview(tmp);
    CountingExifTool exiftool;
    const auto thumb = thumbnail_of(raw, 256);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(exiftool.runs(), 1u);
    EXPECT_EQ(thumb->size, (Size{171, 256}));
    EXPECT_LE(distance(quadrant_colours(*thumb)[0], kBlue), 12);  // turned clockwise
    EXPECT_LE(distance(quadrant_colours(*thumb)[3], kGreen), 12);
}

TEST(Thumbnail, AtThePreviewSizeItIsThePreviewByteForByte) {
    TempDir tmp;
    const fs::path raw = raw_with_preview(tmp);
    const auto thumb = thumbnail_jpeg(raw.string(), 1800);
    const auto preview = preview_jpeg(raw.string(), 6);
    ASSERT_TRUE(thumb && preview);
    EXPECT_EQ(*thumb, *preview);
}

TEST(Thumbnail, SmallPicturesAreNeverEnlarged) {
    // Its only preview is an 8 x 8 JPEG, which the 1800-pixel preview enlarges.
    const auto thumb = thumbnail_of(corpus("exiftool-t/SigmaDP2.x3f"), 256);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->size, (Size{8, 8}));
    TempDir tmp;
    write_file(tmp / "wide.png", make_png(quadrants({600, 200})));
    const auto png = thumbnail_of(tmp / "wide.png", 128);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->size, (Size{128, 43}));
}

TEST(Thumbnail, AnAnswerCutShortFallsBackToOneTagAtATime) {
    TempDir tmp;
    const fs::path raw = raw_with_preview(tmp);
    CountingExifTool exiftool(/*spoil=*/true);
    const auto thumb = thumbnail_of(raw, 256);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->size, (Size{171, 256}));
    EXPECT_EQ(exiftool.runs(), 2u) << "the spoilt run, then the first preview tag";
}

TEST(Thumbnail, CEntryPointRefusesWhatItCannotServe) {
    TempDir tmp;
    write_file(tmp / "notes.cr2", "just text\n");
    size_t length = 0;
    const std::string raf = corpus("exiftool-t/FujiFilm.raf").string();
    EXPECT_EQ(orv_ql_thumbnail(nullptr, 128, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail("\xff.raf", 128, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(raf.c_str(), 0, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(raf.c_str(), 4097, &length), nullptr);
    EXPECT_EQ(orv_ql_thumbnail(raf.c_str(), 128, nullptr), nullptr);
    EXPECT_EQ(orv_ql_thumbnail((tmp / "notes.cr2").c_str(), 128, &length), nullptr);
    EXPECT_EQ(length, 0u);
    uint8_t* jpeg = orv_ql_thumbnail(raf.c_str(), 4096, &length);
    ASSERT_NE(jpeg, nullptr);
    EXPECT_GT(length, 100u);
    orv_ql_free_bytes(jpeg, length);
}
