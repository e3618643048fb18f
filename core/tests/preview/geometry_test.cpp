// The fit to 1800 pixels, area averaging, and turning pictures upright.
#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.hpp"
#include "preview/resample.hpp"

using namespace orv;
using namespace orv::test;
using preview::fit_size;

namespace {

std::vector<int> resample_grey(const std::vector<int>& grey, Size from, Size to) {
    Picture source = preview::make_picture(from);
    for (size_t i = 0; i < grey.size(); ++i) std::fill_n(&source.rgb[i * 3], 3, uint8_t(grey[i]));
    const Picture out = preview::resample(source, to);
    std::vector<int> values;
    for (size_t i = 0; i < out.byte_count(); i += 3) values.push_back(out.rgb[i]);
    return values;
}

// Which source quadrant each output quadrant shows (TL, TR, BL, BR), read
// off the EXIF definitions of the eight orientations.
const std::vector<std::vector<Rgb>> kUpright = {
    {},
    {kRed, kGreen, kBlue, kWhite},   // 1 as stored
    {kGreen, kRed, kWhite, kBlue},   // 2 mirrored
    {kWhite, kBlue, kGreen, kRed},   // 3 upside down
    {kBlue, kWhite, kRed, kGreen},   // 4 mirrored upside down
    {kRed, kBlue, kGreen, kWhite},   // 5 transposed
    {kBlue, kRed, kWhite, kGreen},   // 6 needs a clockwise turn
    {kWhite, kGreen, kBlue, kRed},   // 7 transversed
    {kGreen, kWhite, kRed, kBlue},   // 8 needs a counter-clockwise turn
};

// Mean absolute difference of two pictures of one size, after taking out
// each channel's mean: the files of the series differ in exposure.
double mean_difference(const Picture& a, const Picture& b) {
    const size_t n = a.byte_count();
    double offset[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) offset[i % 3] += int(a.rgb[i]) - int(b.rgb[i]);
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]) - offset[i % 3] / double(n / 3));
    return sum / double(n);
}

}  // namespace

TEST(Fit, LongerSideBecomes1800AndHalvesRoundAwayFromZero) {
    EXPECT_EQ(fit_size({6000, 4000}, 1800), (Size{1800, 1200}));
    EXPECT_EQ(fit_size({4000, 6000}, 1800), (Size{1200, 1800}));
    EXPECT_EQ(fit_size({640, 480}, 1800), (Size{1800, 1350}));
    EXPECT_EQ(fit_size({3600, 5}, 1800), (Size{1800, 3}));    // 2.5
    EXPECT_EQ(fit_size({3600, 1}, 1800), (Size{1800, 1}));    // 0.5
    EXPECT_EQ(fit_size({1, 10000}, 1800), (Size{1, 1800}));   // 0.18, at least one
    EXPECT_EQ(fit_size({1801, 1801}, 1800), (Size{1800, 1800}));
}

TEST(AreaAverage, PartlyCoveredPixelsCountByTheCoveredShare) {
    // Each target pixel covers 1.5 source pixels.
    EXPECT_EQ(resample_grey({0, 90, 255}, {3, 1}, {2, 1}), (std::vector<int>{30, 200}));
    EXPECT_EQ(resample_grey({0, 90, 255}, {1, 3}, {1, 2}), (std::vector<int>{30, 200}));
    // Enlarging: the middle target pixel straddles both source pixels.
    EXPECT_EQ(resample_grey({30, 90}, {2, 1}, {3, 1}), (std::vector<int>{30, 60, 90}));
    // A 2 x 2 block average, and a whole row into one pixel.
    EXPECT_EQ(resample_grey({10, 20, 30, 40}, {2, 2}, {1, 1}), (std::vector<int>{25}));
    EXPECT_EQ(resample_grey(std::vector<int>(1000, 77), {1000, 1}, {1, 1}), (std::vector<int>{77}));
}

TEST(AreaAverage, TwoThreadsMatchOneStreamedPass) {
    // Big enough to be split between two threads; rows vary so that a seam
    // would show.
    Picture source = preview::make_picture({1500, 1001});
    for (size_t i = 0; i < source.byte_count(); ++i) source.rgb[i] = uint8_t((i / 4500) * 7 + i % 3);
    const Size target{1100, 733};
    const Picture split = preview::resample(source, target);
    Picture streamed = preview::make_picture(target);
    preview::BoxResampler one(source.size, target, streamed.rgb.get(), 0, target.height);
    for (uint32_t y = 0; y < source.size.height; ++y) one.push_row(&source.rgb[size_t{y} * 4500]);
    ASSERT_TRUE(one.done());
    EXPECT_TRUE(std::equal(&split.rgb[0], &split.rgb[split.byte_count()], &streamed.rgb[0]));
}

TEST(Orientation, EachCodeTurnsAFullSizePictureUpright) {
    TempDir tmp;
    write_file(tmp / "big.jpg", make_jpeg(quadrants({6000, 4000})));
    for (int64_t code : std::initializer_list<int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 0, 9, -6, int64_t{1} << 40}) {
        const auto p = preview_of(tmp / "big.jpg", code);
        ASSERT_TRUE(p) << code;
        const bool turned = code >= 5 && code <= 8;
        EXPECT_EQ(p->size, turned ? (Size{1200, 1800}) : (Size{1800, 1200})) << code;
        EXPECT_LE(quadrant_error(*p, kUpright[code >= 1 && code <= 8 ? size_t(code) : 1]), 10) << code;
    }
}

TEST(Orientation, CameraSeriesComesOutLikeTheUnturnedShot) {
    for (const std::string series : {"landscape", "portrait"}) {
        const auto path = [&](int k) { return corpus("exif-samples/jpg/orientation/" + series + "_" + std::to_string(k) + ".jpg"); };
        const auto reference = preview_of(path(1), 1);
        ASSERT_TRUE(reference);
        for (int k = 2; k <= 8; ++k) {
            const auto p = preview_of(path(k), k);
            ASSERT_TRUE(p) << series << k;
            ASSERT_EQ(p->size, reference->size) << series << k;
            // Shots of the series differ by about 8 levels after exposure is
            // taken out; a wrongly turned one by 40 or more.
            EXPECT_LT(mean_difference(*p, *reference), 16.0) << series << k;
            const auto wrong = preview_of(path(k), k == 2 ? 4 : 2);
            if (wrong && wrong->size == reference->size) {
                EXPECT_GT(mean_difference(*wrong, *reference), 30.0) << series << k;
            }
        }
    }
}
