#include <gtest/gtest.h>

#include "metadata/focus.hpp"

using namespace orv;

namespace {

std::optional<FocusPoint> focus(const char* notes, std::string_view brand, int64_t orientation = 1,
                                std::optional<std::string> model = std::nullopt, std::string_view path = "a.jpg") {
    return extract_focus(json::parse(notes), brand, model, path, orientation);
}

void expect_box(const std::optional<FocusPoint>& p, double x, double y, double w, double h) {
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->x, x, 1e-9);
    EXPECT_NEAR(p->y, y, 1e-9);
    EXPECT_NEAR(p->w, w, 1e-9);
    EXPECT_NEAR(p->h, h, 1e-9);
}

constexpr const char* kNikonCentre = R"({"AFAreaXPosition": 3000, "AFAreaYPosition": 2000, "AFAreaWidth": 300,
    "AFAreaHeight": 200, "AFImageWidth": 6000, "AFImageHeight": 4000})";
constexpr const char* kNikonCorner = R"({"AFAreaXPosition": 300, "AFAreaYPosition": 200, "AFAreaWidth": 600,
    "AFAreaHeight": 400, "AFImageWidth": 6000, "AFImageHeight": 4000})";

}  // namespace

TEST(Focus, NikonCentreAndOrientation) {
    expect_box(focus(kNikonCentre, "Nikon"), 47.5, 47.5, 5, 5);
    expect_box(focus(kNikonCentre, "Nikon", 6), 47.5, 47.5, 5, 5);
    expect_box(focus(kNikonCorner, "Nikon"), 0, 0, 10, 10);
    expect_box(focus(kNikonCorner, "Nikon", 6), 90, 0, 10, 10);
    expect_box(focus(kNikonCorner, "Nikon", 8), 0, 90, 10, 10);
    // Digits in a string are not a number.
    EXPECT_FALSE(focus(R"({"AFAreaXPosition": "3000", "AFAreaYPosition": 2000, "AFAreaWidth": 300,
        "AFAreaHeight": 200, "AFImageWidth": 6000, "AFImageHeight": 4000})", "Nikon"));
}

TEST(Focus, OrientBoxMapsEveryOrientation) {
    const Box b{0.1, 0.2, 0.3, 0.1};  // left 0.1..0.4, top 0.2..0.3
    auto o = [&](int64_t k) { return orient_box(b, k); };
    auto near = [](Box a, Box e) {
        return std::abs(a.x - e.x) < 1e-12 && std::abs(a.y - e.y) < 1e-12 && std::abs(a.w - e.w) < 1e-12 &&
               std::abs(a.h - e.h) < 1e-12;
    };
    EXPECT_TRUE(near(o(1), {0.1, 0.2, 0.3, 0.1}));
    EXPECT_TRUE(near(o(2), {0.6, 0.2, 0.3, 0.1}));
    EXPECT_TRUE(near(o(3), {0.6, 0.7, 0.3, 0.1}));
    EXPECT_TRUE(near(o(4), {0.1, 0.7, 0.3, 0.1}));
    EXPECT_TRUE(near(o(5), {0.2, 0.1, 0.1, 0.3}));
    EXPECT_TRUE(near(o(6), {0.7, 0.1, 0.1, 0.3}));
    EXPECT_TRUE(near(o(7), {0.7, 0.6, 0.1, 0.3}));
    EXPECT_TRUE(near(o(8), {0.2, 0.6, 0.1, 0.3}));
    EXPECT_TRUE(near(o(0), o(1)));
    EXPECT_TRUE(near(o(9), o(1)));
    EXPECT_TRUE(near(o(-6), o(1)));
}

TEST(Focus, CanonIndexCentreOffsetsAndPowerShotSign) {
    const char* notes = R"({"AFPointsInFocus": "3,4", "AFImageWidth": 1000, "AFImageHeight": 800,
        "AFAreaXPositions": "0 0 0 100 0", "AFAreaYPositions": "0 0 0 200 0",
        "AFAreaWidths": "10 10 10 50 10", "AFAreaHeights": "10 10 10 40 10"})";
    // EOS: positive y lies above the centre: cy = 400 - 200.
    expect_box(focus(notes, "Canon", 1, "Canon EOS 5D"), (600 - 25) / 10.0, (200 - 20) / 8.0, 5, 5);
    expect_box(focus(notes, "Canon"), (600 - 25) / 10.0, (200 - 20) / 8.0, 5, 5);
    // Compacts count downwards.
    expect_box(focus(notes, "Canon", 1, "Canon PowerShot G12"), (600 - 25) / 10.0, (600 - 20) / 8.0, 5, 5);
    expect_box(focus(notes, "Canon", 1, "CANON POWERSHOT S95"), (600 - 25) / 10.0, (600 - 20) / 8.0, 5, 5);
}

TEST(Focus, CanonRejectsBadIndexesAndLists) {
    auto with_index = [](const char* index) {
        std::string n = std::string(R"({"AFPointsInFocus": )") + index + R"(, "AFImageWidth": 100, "AFImageHeight": 100,
            "AFAreaXPositions": "0 1", "AFAreaYPositions": "0 1", "AFAreaWidths": "10 10", "AFAreaHeights": "10 10"})";
        return extract_focus(json::parse(n), "Canon", std::nullopt, "a.jpg", 1);
    };
    EXPECT_TRUE(with_index("1"));
    EXPECT_TRUE(with_index("\" +1 , 0\""));
    EXPECT_FALSE(with_index("2"));  // equal to the list length
    EXPECT_FALSE(with_index("-1"));
    EXPECT_FALSE(with_index("1.0"));
    EXPECT_FALSE(with_index("\"(none)\""));
    EXPECT_FALSE(with_index("\"\""));
    EXPECT_FALSE(with_index("\"99999999999999999999\""));
    EXPECT_FALSE(focus(R"({"AFPointsInFocus": 0, "AFImageWidth": 100, "AFImageHeight": 100,
        "AFAreaXPositions": "0", "AFAreaYPositions": "0", "AFAreaWidths": 10, "AFAreaHeights": "10"})", "Canon"));
}

TEST(Focus, OlympusGridOfCorners) {
    expect_box(focus(R"j({"AFAreas": "(118,32)-(137,51)"})j", "Olympus"), 118 / 2.55, 32 / 2.55, 19 / 2.55, 19 / 2.55);
    // Corners given the other way round give the same box.
    expect_box(focus(R"j({"AFAreas": "(137,51)-(118,32)"})j", "Olympus"), 118 / 2.55, 32 / 2.55, 19 / 2.55, 19 / 2.55);
    EXPECT_FALSE(focus(R"j({"AFAreas": "(118,32)-(137)"})j", "Olympus"));
    EXPECT_FALSE(focus(R"({"AFAreas": "none"})", "Olympus"));
    EXPECT_FALSE(focus(R"j({"AFAreas": ["(1,2)-(3,4)"]})j", "Olympus"));
    auto areas = parse_olympus_af_areas("x-1.5y22,333;4444 55");
    ASSERT_TRUE(areas);
    EXPECT_EQ(*areas, (std::array<double, 4>{1, 5, 22, 333}));
}

TEST(Focus, RicohPentaxTopLeftArea) {
    expect_box(focus(R"j({"AFFrameSize": "720x480", "AFAreaSize": "36 x 24", "AFAreas": ["342,228 (centre)", "x"]})j",
                     "Ricoh/Pentax"),
               47.5, 47.5, 5, 5);
    EXPECT_FALSE(focus(R"({"AFFrameSize": "720x480", "AFAreaSize": "36x24", "AFAreas": []})", "Ricoh/Pentax"));
    EXPECT_FALSE(focus(R"({"AFFrameSize": "720X480", "AFAreaSize": "36x24", "AFAreas": ["1,2"]})", "Ricoh/Pentax"));
    EXPECT_FALSE(focus(R"({"AFFrameSize": "720x480", "AFAreaSize": "36x24", "AFAreas": "1,2"})", "Ricoh/Pentax"));
    EXPECT_EQ(parse_pentax_af_area(" 12 , 34 (a,b)"), (std::pair<double, double>{12, 34}));
    EXPECT_FALSE(parse_pentax_af_area("12 (3,4)"));
    EXPECT_EQ(parse_wxh(" 6000 x 4000 "), (std::pair<double, double>{6000, 4000}));
    EXPECT_FALSE(parse_wxh("6000*4000"));
}

TEST(Focus, FujifilmPixelSmallestContainingFrame) {
    const char* frames = R"({"FocusPixel": "%s", "AFMode": "%s", "ExifImageWidth": 1600, "ExifImageHeight": 1200,
        "ImageWidth": 6000, "ImageHeight": 4000, "RawImageFullWidth": 3000, "RawImageFullHeight": 2000})";
    char buf[512];
    std::snprintf(buf, sizeof buf, frames, "800 600", "Single Point");
    expect_box(focus(buf, "Fujifilm", 1, std::nullopt, "/p/DSCF0001.RAF"), 48.5, 48.5, 3, 3);
    // Outside the EXIF frame: the 3000 x 2000 frame is the smallest that holds it.
    std::snprintf(buf, sizeof buf, frames, "1500 1500", "Single Point");
    expect_box(focus(buf, "Fujifilm"), 48.5, 73.5, 3, 3);
    std::snprintf(buf, sizeof buf, frames, "0 0", "Single Point");
    EXPECT_FALSE(focus(buf, "Fujifilm"));
    std::snprintf(buf, sizeof buf, frames, "800 600", "No");
    EXPECT_FALSE(focus(buf, "Fujifilm"));
    std::snprintf(buf, sizeof buf, frames, "800 600", "Single Point");
    EXPECT_FALSE(focus(buf, "Fujifilm", 1, std::nullopt, "/p/x.DnG"));
    EXPECT_TRUE(focus(buf, "Fujifilm", 1, std::nullopt, "/p/.dng"));  // no extension at all
    std::snprintf(buf, sizeof buf, frames, "9000 9000", "Single Point");
    EXPECT_FALSE(focus(buf, "Fujifilm"));
    std::snprintf(buf, sizeof buf, frames, "800", "Single Point");
    EXPECT_FALSE(focus(buf, "Fujifilm"));
}

TEST(Focus, ClampingTrimsOnlyRightAndBottom) {
    // Left edge beyond the right side: x 100, width 0.
    expect_box(focus(R"({"AFAreaXPosition": 7000, "AFAreaYPosition": 2000, "AFAreaWidth": 300,
        "AFAreaHeight": 200, "AFImageWidth": 6000, "AFImageHeight": 4000})", "Nikon"), 100, 47.5, 0, 5);
    // Cut off at the left: x 0 but the full width is kept.
    expect_box(focus(R"({"AFAreaXPosition": 0, "AFAreaYPosition": 2000, "AFAreaWidth": 600,
        "AFAreaHeight": 200, "AFImageWidth": 6000, "AFImageHeight": 4000})", "Nikon"), 0, 47.5, 10, 5);
    // Cut off at the bottom: trimmed.
    expect_box(focus(R"({"AFAreaXPosition": 3000, "AFAreaYPosition": 3900, "AFAreaWidth": 300,
        "AFAreaHeight": 400, "AFImageWidth": 6000, "AFImageHeight": 4000})", "Nikon"), 47.5, 92.5, 5, 7.5);
    EXPECT_FALSE(focus(R"({"AFAreaXPosition": 3000, "AFAreaYPosition": 2000, "AFAreaWidth": 0,
        "AFAreaHeight": 200, "AFImageWidth": 6000, "AFImageHeight": 4000})", "Nikon"));
}

TEST(Focus, NonFiniteNumbersGiveNoBox) {
    EXPECT_FALSE(focus(R"({"AFPointsInFocus": 0, "AFImageWidth": 100, "AFImageHeight": 100,
        "AFAreaXPositions": "nan", "AFAreaYPositions": "0", "AFAreaWidths": "10", "AFAreaHeights": "10"})", "Canon"));
    EXPECT_FALSE(focus(R"({"AFPointsInFocus": 0, "AFImageWidth": 100, "AFImageHeight": 100,
        "AFAreaXPositions": "0", "AFAreaYPositions": "NaN", "AFAreaWidths": "10", "AFAreaHeights": "10"})", "Canon"));
}

TEST(Focus, OtherBrandsNeverGetABox) {
    for (auto brand : {"Sony", "Panasonic", "Leica", "Sigma"}) {
        EXPECT_FALSE(focus(kNikonCentre, brand)) << brand;
    }
}
