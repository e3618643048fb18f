// orv_ql_zoom: a region of the full-size picture, upright, pixel for pixel
// what a whole decode shows there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "fixtures.hpp"
#include "orv_ql.h"
#include "preview/decode.hpp"
#include "preview/orient.hpp"
#include "preview/region.hpp"

using namespace orv;
using namespace orv::test;

namespace {

orv_ql_zoom_region wanted(double cx, double cy, uint32_t w, uint32_t h) {
    orv_ql_zoom_region r{};
    r.centre_x = cx, r.centre_y = cy, r.width = w, r.height = h;
    return r;
}

struct Zoomed {
    orv_ql_zoom_region region;
    std::optional<Picture> picture;
};

Zoomed zoom(const fs::path& path, double cx, double cy, uint32_t w, uint32_t h, int64_t orientation = 1) {
    Zoomed z{wanted(cx, cy, w, h), {}};
    size_t length = 0;
    uint8_t* bytes = orv_ql_zoom(path.c_str(), orientation, &z.region, &length);
    if (!bytes) return z;
    z.picture = preview::make_picture({z.region.region_width, z.region.region_height});
    EXPECT_EQ(length, z.picture->byte_count());
    std::memcpy(z.picture->rgb.get(), bytes, std::min(length, z.picture->byte_count()));
    orv_ql_free_bytes(bytes, length);
    return z;
}

Picture copy_of(const Picture& p) {
    Picture copy = preview::make_picture(p.size);
    std::memcpy(copy.rgb.get(), p.rgb.get(), p.byte_count());
    return copy;
}

// The rectangle the core says it gave back.
std::array<uint32_t, 4> rect(const Zoomed& z) {
    return {z.region.x, z.region.y, z.region.region_width, z.region.region_height};
}

// How many pixels of the zoomed picture differ from `whole` at the place
// the core reports.
size_t differing(const Zoomed& z, const Picture& whole) {
    size_t bad = 0;
    for (uint32_t y = 0; y < z.picture->size.height; ++y) {
        for (uint32_t x = 0; x < z.picture->size.width; ++x) {
            bad += pixel_at(*z.picture, x, y) != pixel_at(whole, z.region.x + x, z.region.y + y);
        }
    }
    return bad;
}

// A flat picture with a patch of pixel-by-pixel noise in every channel,
// centred at (cx, cy) pixels: chroma that changes at every pixel shows any
// difference libjpeg's upsampling makes at the edge of a crop.
Picture noise_patch(Size size, uint32_t cx, uint32_t cy, uint32_t side) {
    Picture p = solid(size, {90, 120, 150});
    uint32_t state = 7;
    for (uint32_t y = cy - side / 2; y < cy + side / 2; ++y) {
        for (uint32_t x = cx - side / 2; x < cx + side / 2; ++x) {
            for (int c = 0; c < 3; ++c) p.rgb[(size_t{y} * size.width + x) * 3 + c] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
        }
    }
    return p;
}

}  // namespace

TEST(Zoom, RegionOfA24MPCameraJpegIsTheWholeDecodeThereInEachOrientation) {
    // A Nikon's tags on a 6000 x 4000 picture whose noise sits around stored
    // (1800, 2800); each orientation asks for the upright place of that point.
    TempDir tmp;
    const std::string jpeg = make_jpeg(noise_patch({6000, 4000}, 1800, 2800, 1600));
    write_file(tmp / "big.jpg", jpeg);
    run_ok("exiftool", {"-q", "-overwrite_original", "-TagsFromFile",
                        corpus("metadata-extractor/jpg/Nikon D5000.jpg").string(), "-all:all", "-ImageWidth=",
                        "-ImageHeight=", (tmp / "big.jpg").string()});
    const auto whole = decode_jpeg(jpeg);
    ASSERT_TRUE(whole);
    struct Case {
        int64_t orientation;
        double cx, cy;
        std::array<uint32_t, 4> want;  // x, y, width, height in the upright picture
        uint32_t full_width;
    };
    for (const Case& c : {Case{1, 0.3, 0.7, {1160, 2400, 1280, 800}, 6000}, Case{3, 0.7, 0.3, {3560, 800, 1280, 800}, 6000},
                          Case{6, 0.3, 0.3, {560, 1400, 1280, 800}, 4000}, Case{8, 0.7, 0.7, {2160, 3800, 1280, 800}, 4000}}) {
        const Zoomed z = zoom(tmp / "big.jpg", c.cx, c.cy, 1280, 800, c.orientation);
        ASSERT_TRUE(z.picture) << c.orientation;
        EXPECT_EQ(rect(z), c.want) << c.orientation;
        EXPECT_EQ(z.region.full_width, c.full_width) << c.orientation;
        EXPECT_EQ(z.region.full_width * z.region.full_height, 24'000'000u) << c.orientation;
        EXPECT_FALSE(z.region.embedded);
        EXPECT_EQ(differing(z, preview::orient(copy_of(*whole), c.orientation)), 0u) << c.orientation;
    }
}

TEST(Zoom, RegionsPastAnEdgeMoveInsideAndSmallPicturesComeWhole) {
    TempDir tmp;
    const Picture scene = noise_patch({3000, 2000}, 1500, 1000, 2000);
    const Picture small = quadrants({300, 200});
    write_file(tmp / "baseline.jpg", make_jpeg(scene));
    write_file(tmp / "progressive.jpg", make_jpeg(scene, {.subsampling = TJSAMP_422, .progressive = true}));
    write_file(tmp / "small.jpg", make_jpeg(small));
    write_file(tmp / "lossless.png", make_png(scene));
    struct Case {
        std::string file;
        double cx, cy;
        uint32_t w, h;
        std::array<uint32_t, 4> want;
    };
    for (const Case& c : {
             Case{"baseline.jpg", 0, 0, 1280, 800, {0, 0, 1280, 800}},
             Case{"baseline.jpg", 1, 1, 1280, 800, {1720, 1200, 1280, 800}},
             Case{"baseline.jpg", 0.5, 0.5, 8192, 101, {0, 949, 3000, 101}},
             Case{"progressive.jpg", 0.95, 0.05, 640, 480, {2360, 0, 640, 480}},
             Case{"small.jpg", 0.9, 0.1, 1280, 800, {0, 0, 300, 200}},
             Case{"lossless.png", 0.25, 0.5, 201, 99, {649, 950, 201, 99}},
         }) {
        const Zoomed z = zoom(tmp / c.file, c.cx, c.cy, c.w, c.h);
        ASSERT_TRUE(z.picture) << c.file << " " << c.cx;
        EXPECT_EQ(rect(z), c.want) << c.file << " " << c.cx;
        const Picture whole = c.file.ends_with(".png") ? copy_of(scene) : decode_jpeg(read_file(tmp / c.file)).value();
        EXPECT_EQ(differing(z, whole), 0u) << c.file << " " << c.cx;
    }
}

TEST(Zoom, RawFileGivesItsLargestEmbeddedJpeg) {
    // JpgFromRaw comes first in the order asked, but the preview is larger.
    TempDir tmp;
    const std::string big = make_jpeg(noise_patch({3000, 2000}, 1500, 1000, 1000));
    write_file(tmp / "big.jpg", big);
    write_file(tmp / "small.jpg", make_jpeg(quadrants({600, 400})));
    fs::copy_file(corpus("exiftool-t/DNG.dng"), tmp / "shot.dng");
    fs::permissions(tmp / "shot.dng", fs::perms::owner_write, fs::perm_options::add);
    run_ok("exiftool", {"-q", "-overwrite_original", "-JpgFromRaw<=" + (tmp / "small.jpg").string(),
                        "-PreviewImage<=" + (tmp / "big.jpg").string(), (tmp / "shot.dng").string()});
    const Zoomed z = zoom(tmp / "shot.dng", 0.5, 0.5, 640, 400);
    ASSERT_TRUE(z.picture);
    EXPECT_TRUE(z.region.embedded);
    EXPECT_EQ(rect(z), (std::array<uint32_t, 4>{1180, 800, 640, 400}));
    EXPECT_EQ(differing(z, *decode_jpeg(big)), 0u);
}

TEST(Zoom, RefusesBadRequestsWithoutWork) {
    TempDir tmp;
    write_file(tmp / "a.jpg", make_jpeg(quadrants({64, 48})));
    const std::string path = (tmp / "a.jpg").string();
    size_t length = 0;
    for (orv_ql_zoom_region r : {wanted(0.5, 0.5, 0, 8), wanted(0.5, 0.5, 8, 8193), wanted(-0.01, 0.5, 8, 8),
                                 wanted(0.5, 1.01, 8, 8), wanted(NAN, 0.5, 8, 8)}) {
        EXPECT_EQ(orv_ql_zoom(path.c_str(), 1, &r, &length), nullptr) << r.centre_x << " " << r.width;
        EXPECT_EQ(r.region_width, 0u);
    }
    orv_ql_zoom_region fine = wanted(0.5, 0.5, 8, 8);
    EXPECT_EQ(orv_ql_zoom(path.c_str(), 1, nullptr, &length), nullptr);
    EXPECT_EQ(orv_ql_zoom(path.c_str(), 1, &fine, nullptr), nullptr);
    EXPECT_EQ(orv_ql_zoom((tmp / "missing.jpg").c_str(), 1, &fine, &length), nullptr);
    EXPECT_TRUE(zoom(path, 0.5, 0.5, 8192, 8192).picture);  // the largest size asked is fine
}

// Each decoder's own region reading (strip by strip, tile by tile, row by
// row, cropped, or kept from libjxl's runs) gives the pixels its whole
// decode has there, and the stored size.
TEST(Zoom, EveryFormatsRegionIsItsWholeDecodeThere) {
    TempDir tmp;
    const Picture scene = noise_patch({701, 503}, 350, 251, 500);
    write_file(tmp / "scene.png", make_png(scene));
    const auto tiff = [](uint16_t compression, uint32_t rows, uint32_t tile, bool separate, uint16_t predictor) {
        return make_noise_tiff({701, 503}, {.compression = compression, .predictor = predictor,
                                            .rows_per_strip = rows, .tile = tile, .separate = separate});
    };
    const auto odd_tiff = [](TiffLayout layout) { return make_noise_tiff({701, 503}, layout); };
    std::vector<std::pair<std::string, std::string>> files = {
        {"jpeg", make_jpeg(scene)},
        {"png", make_png(scene)},
        {"interlaced png", make_png(scene, {.interlaced = true})},
        {"tiff, lzw strips of 16 rows", tiff(COMPRESSION_LZW, 16, 0, false, PREDICTOR_HORIZONTAL)},
        {"tiff, one deflate strip", tiff(COMPRESSION_ADOBE_DEFLATE, 0, 0, false, PREDICTOR_NONE)},
        {"tiff, tiles of 64", tiff(COMPRESSION_ADOBE_DEFLATE, 0, 64, false, PREDICTOR_NONE)},
        {"tiff, planes in strips of 7 rows", tiff(COMPRESSION_NONE, 7, 0, true, PREDICTOR_NONE)},
        {"tiff, planes in tiles of 32", tiff(COMPRESSION_LZW, 0, 32, true, PREDICTOR_NONE)},
        {"tiff, 16-bit in tiles of 64", odd_tiff({.depth = 16, .tile = 64})},
        {"tiff, 1-bit grey in tiles of 32", odd_tiff({.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1, .depth = 1,
                                                     .tile = 32})},
        {"tiff, 4:2:0 YCbCr in tiles of 64", odd_tiff({.photometric = PHOTOMETRIC_YCBCR, .tile = 64, .subsampling = 2})},
    };
    const std::vector<std::pair<std::string, std::vector<std::string>>> encoders = {
        {"lossy webp", {"cwebp", "-quiet", "@scene.png", "-o", "@out"}},
        {"lossless webp", {"cwebp", "-quiet", "-lossless", "@scene.png", "-o", "@out"}},
        {"lossy jxl", {"cjxl", "--quiet", "-d", "1", "@scene.png", "@out"}},
        {"lossless jxl", {"cjxl", "--quiet", "-d", "0", "@scene.png", "@out"}},
        {"heic", {"heif-enc", "-q", "90", "@scene.png", "-o", "@out"}},
    };
    for (const auto& [name, command] : encoders) {
        std::vector<std::string> args;
        for (const std::string& a : command) {
            args.push_back(a == "@out" ? (tmp / "out").string() : a.starts_with('@') ? (tmp / a.substr(1)).string() : a);
        }
        run_ok(args.front(), {args.begin() + 1, args.end()});
        files.emplace_back(name, read_file(tmp / "out"));
    }
    // Odd corners, strip and tile edges crossed, the far edges, one column,
    // the whole picture.
    const preview::Rect rects[] = {{37, 45, 300, 200}, {63, 127, 130, 2}, {401, 303, 300, 200},
                                   {333, 17, 1, 486},  {0, 0, 701, 503}};
    for (const auto& [name, bytes] : files) {
        const preview::Source source({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
        const auto whole = preview::decode_fitted(source, {100000, false});
        ASSERT_TRUE(whole) << name;
        for (const preview::Rect& r : rects) {
            const auto region = preview::decode_region(source, [&](Size) { return r; });
            ASSERT_TRUE(region) << name << " at " << r.x << "," << r.y;
            EXPECT_EQ(region->full, whole->size) << name;
            const Picture want = preview::cut(*whole, r);
            EXPECT_EQ(region->picture.size, want.size) << name;
            EXPECT_EQ(std::memcmp(region->picture.rgb.get(), want.rgb.get(), want.byte_count()), 0)
                << name << " at " << r.x << "," << r.y;
        }
        EXPECT_FALSE(preview::decode_region(source, [](Size s) { return preview::Rect{1, 0, s.width, 1}; }))
            << name << ": a rectangle past the edge";
    }
}

// A region of a 48 MP picture holds the region and a few rows, not the
// 144 MB frame (the memory a view of it in a 45 MP file is allowed).
TEST(Zoom, RegionOfABigPictureHoldsNotItsFrame) {
    const Size big{8000, 6000};
    const auto flat = [](std::span<uint8_t> bytes, uint16_t) { std::fill(bytes.begin(), bytes.end(), 140); };
    const std::pair<std::string, std::string> files[] = {
        {"png", make_flat_png(big, {140, 140, 140}, false)},
        {"tiff strips", make_layout_tiff(big, {.rows_per_strip = 64}, flat)},
        {"tiff tiles", make_layout_tiff(big, {.tile = 256}, flat)},
    };
    for (const auto& [name, bytes] : files) {
        const preview::Source source({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
        std::optional<preview::RegionPicture> region;
        const auto growth = peak_growth_mib([&] {
            region = preview::decode_region(source, [](Size) { return preview::Rect{3000, 2500, 2560, 1600}; });
        });
        ASSERT_TRUE(region) << name;
        EXPECT_EQ(pixel_at(region->picture, 2559, 1599), (Rgb{140, 140, 140})) << name;
        if (!growth) GTEST_SKIP() << "this kernel does not let the peak memory be reset";
        EXPECT_LT(*growth, 40) << name;  // the region is 12 MB
    }
}
