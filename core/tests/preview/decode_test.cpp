// The decoders: the variants real files come in, and damaged or hostile
// input, which must give no picture rather than a crash, a hang, noise on
// stderr or a partly made-up picture.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>

#include "fixtures.hpp"
#include "preview/candidates.hpp"
#include "preview/decode.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::optional<Picture> decode(const std::string& bytes) {
    return preview::decode_fitted(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// Decodes a 64 x 48 quadrant picture and checks the fitted size and the
// quadrant colours (as grey levels for grey pictures).
void expect_quadrants(const std::string& bytes, bool grey, int tolerance, const std::string& what) {
    const auto p = decode(bytes);
    ASSERT_TRUE(p) << what;
    EXPECT_EQ(p->size, (Size{1800, 1350})) << what;
    std::vector<Rgb> want = {kRed, kGreen, kBlue, kWhite};
    for (Rgb& w : want) w = grey ? Rgb{luma(w), luma(w), luma(w)} : w;
    EXPECT_LE(quadrant_error(*p, want), tolerance) << what;
}

}  // namespace

// Alpha is dropped, not composited; a TIFF shows its first page as stored.
// (TIFF storage layouts: tiff_layout_test.cpp.)
TEST(Decoders, Variants) {
    const Picture q = quadrants({64, 48});
    expect_quadrants(make_jpeg(q), false, 12, "4:2:0");
    expect_quadrants(make_jpeg(q, {.subsampling = TJSAMP_444}), false, 12, "4:4:4");
    expect_quadrants(make_jpeg(q, {.progressive = true}), false, 12, "progressive");
    expect_quadrants(make_jpeg(q, {.grey = true}), true, 12, "grey");
    expect_quadrants(make_jpeg(q, {.cmyk = true}), false, 12, "cmyk");
    expect_quadrants(make_png(q), false, 1, "rgb");
    expect_quadrants(make_png(q, {.depth = 16}), false, 1, "16-bit");
    expect_quadrants(make_png(q, {.alpha = true}), false, 1, "transparent");
    expect_quadrants(make_png(q, {.grey = true}), true, 1, "grey");
    expect_quadrants(make_png(q, {.grey = true, .alpha = true, .depth = 16}), true, 1, "grey+alpha 16-bit");
    expect_quadrants(make_png(q, {.palette = true}), false, 1, "palette");
    expect_quadrants(make_png(q, {.interlaced = true}), false, 1, "interlaced");
    expect_quadrants(make_tiff(q, {.alpha = true}), false, 1, "transparent TIFF");
    expect_quadrants(make_tiff(q, {.orientation = 3}), false, 1, "orientation tag");
    expect_quadrants(make_tiff(q, {.second_page = true}), false, 1, "two pages");
}

TEST(BadInput, BrokenAndOddCorpusFilesGiveWholePicturesOrNone) {
    size_t decoded = 0, files = 0;
    for (const char* dir : {"exif-samples/jpg/invalid", "metadata-extractor/odd-jpeg"}) {
        for (const auto& entry : fs::directory_iterator(corpus(dir))) {
            const auto p = decode(read_file(entry.path()));
            ++files;
            if (!p) continue;
            ++decoded;
            EXPECT_EQ(std::max(p->size.width, p->size.height), 1800u) << entry.path();
        }
    }
    EXPECT_GT(files, 90u);
    EXPECT_GT(decoded, 0u);  // odd but sound files still decode
    // Their data ends inside a scan; the decoder would fill the rest with grey.
    for (const char* cut : {"exif-samples/jpg/corrupted.jpg", "metadata-extractor/odd-jpeg/32d08f4a5eb10332506ebedbb9bc7257.jpg",
                            "metadata-extractor/odd-jpeg/7997b6b229f25315d33f5c7085e37500.jpg"}) {
        EXPECT_FALSE(decode(read_file(corpus(cut)))) << cut;
    }
}

TEST(BadInput, TruncatedJpegFailsButStrayBytesBetweenSegmentsAreHarmless) {
    const std::string jpeg = make_jpeg(quadrants({64, 48}));
    const size_t eoi = jpeg.size() - 2, sos = jpeg.find("\xFF\xDA");
    expect_quadrants(jpeg.substr(0, eoi) + "\x11\x11\x11" + jpeg.substr(eoi), false, 12, "stray bytes before EOI");
    EXPECT_FALSE(decode(jpeg.substr(0, jpeg.size() / 2)));
    EXPECT_FALSE(decode(jpeg.substr(0, eoi)));
    // A harmless warning early must not hide a cut later on.
    const std::string early = jpeg.substr(0, sos) + "\x11\x11" + jpeg.substr(sos);
    expect_quadrants(early, false, 12, "stray bytes before SOS");
    EXPECT_FALSE(decode(early.substr(0, early.size() - 100)));
    const std::string progressive = make_jpeg(quadrants({256, 192}), {.progressive = true});
    EXPECT_FALSE(decode(progressive.substr(0, progressive.size() * 2 / 3)));
}

TEST(BadInput, DamagedPngAndTiffFailQuietly) {
    const std::string png = make_png(quadrants({64, 48})), tiff = make_tiff(quadrants({64, 48}));
    std::string bad_crc = png;
    bad_crc[png.find("IDAT") + 10] ^= 0x55;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(decode(bad_crc));
    EXPECT_FALSE(decode(png.substr(0, png.size() / 2)));
    ASSERT_TRUE(decode(tiff));
    EXPECT_FALSE(decode(with_tiff_entry(with_tiff_entry(tiff, TIFFTAG_IMAGEWIDTH, 100000), TIFFTAG_IMAGELENGTH,
                                        100000)));
    for (const auto& [tag, value] : {std::pair{TIFFTAG_BITSPERSAMPLE, 3u}, {TIFFTAG_SAMPLESPERPIXEL, 200u},
                                     {TIFFTAG_ROWSPERSTRIP, 0u}, {TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0u}}) {
        EXPECT_FALSE(decode(with_tiff_entry(tiff, tag, value))) << tag;
    }
    EXPECT_FALSE(decode(tiff.substr(0, tiff.size() / 2)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(BadInput, PictureThatWouldBeHeldWholeIsRefusedAboveTheLimit) {
    // Under the pixel limit, some 270 MB as 8-bit RGB.
    const Size big{9500, 9500};
    const auto expect_flat = [](const std::string& bytes, Rgb c, const std::string& what) {
        const auto p = decode(bytes);
        ASSERT_TRUE(p) << what;
        EXPECT_EQ(quadrant_colours(*p), std::vector<Rgb>(4, c)) << what;
    };
    // Interlaced rows are only whole after the last pass; rows that are
    // whole as they come can be any number.
    EXPECT_FALSE(decode(make_flat_png(big, kRed, true)));
    expect_flat(make_flat_png(big, kRed, false), kRed, "not interlaced");
    expect_flat(make_flat_png({640, 480}, kGreen, true), kGreen, "small interlaced");
    // libtiff decodes a strip of separate planes whole, all planes at once.
    const auto planes = [](std::span<uint8_t> bytes, uint16_t plane) {
        std::ranges::fill(bytes, uint8_t(plane == 0 ? kBlue.r : plane == 1 ? kBlue.g : kBlue.b));
    };
    EXPECT_FALSE(decode(make_layout_tiff(big, {.separate = true}, planes)));
    expect_flat(make_layout_tiff(big, {.rows_per_strip = 64, .separate = true}, planes), kBlue, "64-row strips");
}

TEST(BadInput, TinyFileDeclaringAHugePictureIsRefusedBeforeAllocating) {
    // A small JPEG whose frame header claims 65000 x 65000: decoded even at
    // an eighth of its size it would fill some 200 MB.
    std::string jpeg = make_jpeg(quadrants({64, 48}), {.subsampling = TJSAMP_444});
    const size_t size_at = jpeg.find("\xFF\xC0") + 5;
    jpeg.replace(size_at, 4, "\xFD\xE8\xFD\xE8");
    const auto growth = peak_growth_mib([&] { EXPECT_FALSE(decode(jpeg)); });
    if (!growth) GTEST_SKIP() << "the refusal holds; this kernel does not let the peak memory be reset";
    EXPECT_LT(*growth, 32);
}

TEST(BadInput, FileCutShortAfterItWasOpenedGivesNoPictureAndNoCrash) {
    // The pipeline opens the file, then another program cuts it: the
    // decoder's first reads (the header) still succeed, the pixel data is
    // gone. A mapped file would raise SIGBUS here.
    const Picture big = quadrants({1600, 1200});
    const std::pair<const char*, std::string> files[] = {
        {"cut.jpg", make_jpeg(big)},
        {"cut-progressive.jpg", make_jpeg(big, {.progressive = true})},
        {"cut.png", make_png(big)},
        {"cut.tif", make_tiff(big)},
    };
    TempDir tmp;
    for (const auto& [name, bytes] : files) {
        for (const size_t keep : {bytes.size(), bytes.size() / 2, size_t{1024}}) {
            write_file(tmp / name, bytes);
            preview::Candidates candidates((tmp / name).string(), 1);
            const auto source = candidates.next();
            ASSERT_TRUE(source) << name;
            fs::resize_file(tmp / name, keep);
            EXPECT_EQ(bool(preview::decode_fitted(*source)), keep == bytes.size()) << name << " cut to " << keep;
        }
    }
}
