// Which way a file goes (decoded directly, or ExifTool asked for the
// previews embedded in it) and the ExifTool runs it takes.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstring>

#include "exiftool/command.hpp"
#include "fixtures.hpp"
#include "preview/embedded.hpp"
#include "preview/extension.hpp"
#include "preview/preview.hpp"

using namespace orv;
using namespace orv::test;

namespace {
const std::vector<std::string> kTags = {"-PreviewImage", "-JpgFromRaw",  "-ThumbnailImage",
                                        "-ThumbnailTIFF", "-PreviewTIFF", "-PhotoshopThumbnail"};

bool has_preview(const fs::path& path) {
    return preview_jpeg(path.string(), 1).has_value();
}
}  // namespace

TEST(Extension, LastNameAfterItsLastDotFullyLowerCased) {
    using preview::lowercase_extension;
    EXPECT_EQ(lowercase_extension("/photos/IMG_1.JPG"), "jpg");
    EXPECT_EQ(lowercase_extension("archive.tar.TiFF"), "tiff");
    EXPECT_EQ(lowercase_extension("/photos/.hidden.PNG"), "png");
    EXPECT_EQ(lowercase_extension("/photos/KÄSE.ÄRW"), "ärw");
    EXPECT_EQ(lowercase_extension("/photos/ends-in-dot."), "");
    EXPECT_EQ(lowercase_extension("/photos/.jpg"), std::nullopt);
    EXPECT_EQ(lowercase_extension("/photos.jpg/raw"), std::nullopt);
}

TEST(DirectDecode, ContentDecidesAndExifToolIsNeverAsked) {
    TempDir tmp;
    FakeExifTool fake;
    fake.on({}, {.out = make_jpeg(solid({64, 48}, kGreen))});  // would succeed if asked
    write_file(tmp / "A.JPG", make_jpeg(quadrants({64, 48})));
    write_file(tmp / "png-inside.jpg", make_png(quadrants({64, 48})));
    write_file(tmp / "nothing.jpg", "not a picture at all");
    ASSERT_EQ(::mkfifo((tmp / "pipe.jpg").c_str(), 0600), 0);  // must not block

    const auto jpg = preview_of(tmp / "A.JPG");
    ASSERT_TRUE(jpg);
    EXPECT_EQ(jpg->size, (Size{1800, 1350}));
    const auto png = preview_of(tmp / "png-inside.jpg");
    ASSERT_TRUE(png);
    EXPECT_LE(distance(quadrant_colours(*png)[1], kGreen), 4);
    for (const char* name : {"nothing.jpg", "missing.png", "pipe.jpg"}) EXPECT_FALSE(has_preview(tmp / name)) << name;
    EXPECT_TRUE(fake.runs().empty());
}

TEST(DirectDecode, FilesAboveTheBoundAreRefusedUnread) {
    // A sound picture followed by a hole: read whole, the larger would take
    // gigabytes; decoded, each would show the picture.
    TempDir tmp;
    FakeExifTool fake;
    for (const uint64_t size : {uint64_t{3} << 29, uint64_t{4} << 30}) {
        const fs::path path = tmp / ("sparse-" + std::to_string(size) + ".jpg");
        write_file(path, make_jpeg(quadrants({64, 48})));
        fs::resize_file(path, size);
        EXPECT_FALSE(has_preview(path)) << size;
        EXPECT_FALSE(thumbnail_jpeg(path.string(), 128)) << size;
    }
    EXPECT_TRUE(fake.runs().empty());
}

TEST(EmbeddedPreview, AnOversizedValueInTheOneRunAnswerIsPassedOver) {
    // The answer as the thumbnail's single run prints it: the orientation,
    // then each preview, each followed by the end marker. The middle value
    // is a sound JPEG padded past 256 MiB; untouched anonymous pages read as
    // zeros without taking memory.
    const std::string end = "{end}", small = make_jpeg(quadrants({64, 48}));
    const size_t big = (size_t{256} << 20) + 1, length = 1 + big + small.size() + 3 * end.size();
    void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char* p = static_cast<char*>(map);
    const auto put = [&p](const std::string& s) { p = static_cast<char*>(std::memcpy(p, s.data(), s.size())) + s.size(); };
    put("6" + end + small);
    p += big - small.size();
    put(end + small + end);
    const auto answer = preview::parse_embedded_answer({static_cast<char*>(map), length}, end);
    EXPECT_EQ(answer.orientation, 6);
    ASSERT_EQ(answer.encoded.size(), 1u);
    EXPECT_EQ(answer.encoded[0].size(), small.size());
    EXPECT_EQ(answer.encoded[0].data(), reinterpret_cast<const uint8_t*>(p - end.size() - small.size()));
    EXPECT_TRUE(answer.complete);
    ::munmap(map, length);
}

TEST(EmbeddedPreview, AsksForTheSixTagsInOrderThenGivesUp) {
    TempDir tmp;
    FakeExifTool fake;  // no rules: every run succeeds with empty output
    const std::vector<std::string> names = {"shot.cr2", ".jpg", "dot.", "no-extension"};
    for (const auto& name : names) {
        write_file(tmp / name, make_jpeg(quadrants({64, 48})));
        EXPECT_FALSE(has_preview(tmp / name)) << name;
    }
    const auto runs = fake.runs();
    ASSERT_EQ(runs.size(), 24u);
    for (size_t i = 0; i < runs.size(); ++i) {
        // The preview, then the colour-space mark, each value ended by a
        // marker the run makes up.
        ASSERT_EQ(runs[i].size(), 9u) << i;
        const std::string& end = runs[i][2];
        EXPECT_EQ(runs[i], (std::vector<std::string>{"-b", "-sep", end, "-sep", end, kTags[i % 6], "-InteropIndex#",
                                                     "-ColorSpace#", (tmp / names[i / 6]).string()}))
            << i;
    }
}

TEST(EmbeddedPreview, TheFirstCandidateThatDecodesWinsWhateverItsSizeAndTheRestAreNotAsked) {
    const std::string red_jpeg = make_jpeg(solid({160, 120}, kRed));
    struct Case {
        const char* file;
        std::vector<std::pair<std::string, FakeExifTool::Reply>> replies;  // by tag
        Rgb colour;   // of the picture shown
        size_t runs;  // ExifTool runs asked for, one per tag
    };
    const Case cases[] = {
        // A small preview first beats a full-size JPEG after it.
        {"shot.nef",
         {{"-PreviewImage", {.out = make_jpeg(solid({320, 240}, kRed))}},
          {"-JpgFromRaw", {.out = make_jpeg(solid({1600, 1200}, kBlue))}}},
         kRed, 1},
        // Placeholder text and a cut JPEG are passed over for a thumbnail,
        // enlarged to the preview's size.
        {"shot.arw",
         {{"-PreviewImage", {.out = "(Binary data 20 bytes)"}},
          {"-JpgFromRaw", {.out = red_jpeg.substr(0, red_jpeg.size() / 2)}},
          {"-ThumbnailImage", {.out = red_jpeg}}},
         kRed, 3},
        // A failed run is skipped whatever it printed.
        {"shot.dng",
         {{"-PreviewImage", {.out = red_jpeg, .exit_code = 1}},
          {"-ThumbnailTIFF", {.out = make_tiff(solid({160, 120}, kGreen))}}},
         kGreen, 4},
    };
    for (const auto& c : cases) {
        TempDir tmp;
        FakeExifTool fake;
        for (const auto& [tag, reply] : c.replies) fake.on({tag}, reply);
        write_file(tmp / c.file, "raw");
        const auto p = preview_of(tmp / c.file);
        ASSERT_TRUE(p) << c.file;
        EXPECT_EQ(p->size, (Size{1800, 1350})) << c.file;
        EXPECT_LE(distance(pixel_at(*p, 900, 600), c.colour), 8) << c.file;
        EXPECT_EQ(fake.runs().size(), c.runs) << c.file;
    }
}

TEST(EmbeddedPreview, NoExifToolOnThePathMeansNoPicture) {
    TempDir tmp;
    ScopedEnv path("PATH", tmp.path().string());
    write_file(tmp / "shot.cr2", "raw");
    EXPECT_FALSE(has_preview(tmp / "shot.cr2"));
}
