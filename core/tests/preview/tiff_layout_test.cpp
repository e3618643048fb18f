// TIFF storage layouts: strips are read row by row and everything else a row
// of strips or tiles at a time, and either way the pixels must be those of
// libtiff's own whole-picture reader. Damaged strip data gives no picture.
#include <gtest/gtest.h>

#include <cstring>

#include "fixtures.hpp"
#include "preview/decode.hpp"
#include "preview/resample.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::optional<Picture> decode(const std::string& bytes, uint32_t bound) {
    return preview::decode_fitted(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), bound);
}

bool same_pixels(const Picture& a, const Picture& b) {
    return a.size == b.size && std::memcmp(a.rgb.get(), b.rgb.get(), a.byte_count()) == 0;
}

struct LayoutCase {
    const char* name;
    TiffLayout layout;
};

// Odd sizes, so that packed rows end inside a byte and tiles and strips
// overhang the picture.
const LayoutCase kLayouts[] = {
    // Read row by row.
    {"RGB, one deflate strip", {}},
    {"RGB, LZW with predictor, 7-row strips",
     {.compression = COMPRESSION_LZW, .predictor = PREDICTOR_HORIZONTAL, .rows_per_strip = 7}},
    {"RGB 16-bit, deflate with predictor", {.depth = 16, .predictor = PREDICTOR_HORIZONTAL}},
    {"RGBA, uncompressed one-row strips", {.samples = 4, .compression = COMPRESSION_NONE, .rows_per_strip = 1}},
    {"RGBA 16-bit, PackBits", {.samples = 4, .depth = 16, .compression = COMPRESSION_PACKBITS}},
    {"RGB, Zstandard", {.compression = COMPRESSION_ZSTD, .rows_per_strip = 10}},
    {"grey 1-bit, CCITT group 4",
     {.photometric = PHOTOMETRIC_MINISWHITE, .samples = 1, .depth = 1, .compression = COMPRESSION_CCITTFAX4}},
    {"grey 2-bit, uncompressed",
     {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1, .depth = 2, .compression = COMPRESSION_NONE}},
    {"white-is-zero 4-bit, LZW",
     {.photometric = PHOTOMETRIC_MINISWHITE, .samples = 1, .depth = 4, .compression = COMPRESSION_LZW}},
    {"grey 16-bit, deflate with predictor",
     {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1, .depth = 16, .predictor = PREDICTOR_HORIZONTAL}},
    {"grey with alpha", {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 2, .rows_per_strip = 4}},
    {"palette 8-bit", {.photometric = PHOTOMETRIC_PALETTE, .samples = 1}},
    {"palette 4-bit, uncompressed",
     {.photometric = PHOTOMETRIC_PALETTE, .samples = 1, .depth = 4, .compression = COMPRESSION_NONE}},
    {"CMYK, LZW", {.photometric = PHOTOMETRIC_SEPARATED, .samples = 4, .compression = COMPRESSION_LZW}},
    {"YCbCr without subsampling", {.photometric = PHOTOMETRIC_YCBCR, .compression = COMPRESSION_NONE}},
    // Read by libtiff a row of strips or tiles at a time.
    {"RGB, separate planes, one strip each", {.separate = true}},
    {"RGBA, separate planes, 7-row strips", {.samples = 4, .rows_per_strip = 7, .separate = true}},
    {"RGB, 16 x 16 tiles", {.tile = 16}},
    {"grey 16-bit, 32 x 32 tiles", {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1, .depth = 16, .tile = 32}},
    {"RGB, JPEG, one strip", {.compression = COMPRESSION_JPEG}},
};

}  // namespace

TEST(TiffLayouts, PixelsAreThoseOfLibtiffsWholePictureReader) {
    const Size size{67, 45};
    for (const auto& [name, layout] : kLayouts) {
        const std::string tiff = make_noise_tiff(size, layout);
        const auto want = whole_picture_reference(tiff);
        ASSERT_TRUE(want) << name;
        // Bound to the longer side: no resampling, every pixel as decoded.
        const auto full = decode(tiff, size.width);
        ASSERT_TRUE(full) << name;
        EXPECT_TRUE(same_pixels(*full, *want)) << name;
        // Fitted: the rows reach the resampler in order, once each.
        const auto fitted = decode(tiff, 40);
        ASSERT_TRUE(fitted) << name;
        EXPECT_TRUE(same_pixels(*fitted, preview::resample(*want, fitted->size))) << name;
    }
}

TEST(TiffLayouts, CutOrDamagedStripGivesNoPictureQuietly) {
    testing::internal::CaptureStderr();
    for (const uint16_t compression : {COMPRESSION_ADOBE_DEFLATE, COMPRESSION_LZW, COMPRESSION_PACKBITS}) {
        const std::string tiff = make_noise_tiff({67, 45}, {.compression = compression});
        ASSERT_TRUE(decode(tiff, 1800)) << compression;
        // One strip: its offset and length are held in the entries themselves.
        const uint32_t offset = tiff_entry(tiff, TIFFTAG_STRIPOFFSETS);
        const uint32_t length = tiff_entry(tiff, TIFFTAG_STRIPBYTECOUNTS);
        ASSERT_GT(length, 0u);
        EXPECT_FALSE(decode(with_tiff_entry(tiff, TIFFTAG_STRIPBYTECOUNTS, length / 2), 1800)) << compression;
        // Overwritten with bytes that are no deflate or LZW stream; any
        // bytes are some PackBits stream.
        if (compression == COMPRESSION_PACKBITS) continue;
        std::string damaged = tiff;
        std::memset(&damaged[offset], 0xFF, length);
        EXPECT_FALSE(decode(damaged, 1800)) << compression;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
