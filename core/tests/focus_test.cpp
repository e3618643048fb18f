#include <gtest/gtest.h>

#include "metadata/focus.hpp"

using namespace orv;

namespace {

std::optional<FocusPoint> focus(const std::string& notes, std::string_view brand, int64_t orientation = 1,
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

// A Nikon area centred at (x, y) in a 6000 x 4000 frame.
std::string nikon(int x, int y, int w, int h) {
    return json{{"AFAreaXPosition", x}, {"AFAreaYPosition", y}, {"AFAreaWidth", w}, {"AFAreaHeight", h},
                {"AFImageWidth", 6000}, {"AFImageHeight", 4000}}.dump();
}
const std::string kNikonCentre = nikon(3000, 2000, 300, 200), kNikonCorner = nikon(300, 200, 600, 400);

}  // namespace

TEST(Focus, NikonCentreAndOrientation) {
    expect_box(focus(kNikonCentre, "Nikon"), 47.5, 47.5, 5, 5);
    expect_box(focus(kNikonCentre, "Nikon", 6), 47.5, 47.5, 5, 5);
    expect_box(focus(kNikonCorner, "Nikon"), 0, 0, 10, 10);
    expect_box(focus(kNikonCorner, "Nikon", 6), 90, 0, 10, 10);
    expect_box(focus(kNikonCorner, "Nikon", 8), 0, 90, 10, 10);
    // Digits in a string are not a number.
    json text = json::parse(kNikonCentre);
    text["AFAreaXPosition"] = "3000";
    EXPECT_FALSE(focus(text.dump(), "Nikon"));
}

TEST(Focus, OrientBoxMapsEveryOrientation) {
    const Box b{0.1, 0.2, 0.3, 0.1};  // left 0.1..0.4, top 0.2..0.3
    const std::pair<int64_t, Box> cases[] = {
        {1, {0.1, 0.2, 0.3, 0.1}}, {2, {0.6, 0.2, 0.3, 0.1}}, {3, {0.6, 0.7, 0.3, 0.1}}, {4, {0.1, 0.7, 0.3, 0.1}},
        {5, {0.2, 0.1, 0.1, 0.3}}, {6, {0.7, 0.1, 0.1, 0.3}}, {7, {0.7, 0.6, 0.1, 0.3}}, {8, {0.2, 0.6, 0.1, 0.3}},
        {0, {0.1, 0.2, 0.3, 0.1}}, {9, {0.1, 0.2, 0.3, 0.1}}, {-6, {0.1, 0.2, 0.3, 0.1}}};
    for (const auto& [k, e] : cases) {
        const Box a = orient_box(b, k);
        SCOPED_TRACE(k);
        expect_box(FocusPoint{a.x, a.y, a.w, a.h}, e.x, e.y, e.w, e.h);
    }
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
    // "2" equals the list length.
    for (auto index : {"2", "-1", "1.0", "\"(none)\"", "\"\"", "\"99999999999999999999\""}) {
        EXPECT_FALSE(with_index(index)) << index;
    }
    EXPECT_FALSE(focus(R"({"AFPointsInFocus": 0, "AFImageWidth": 100, "AFImageHeight": 100,
        "AFAreaXPositions": "0", "AFAreaYPositions": "0", "AFAreaWidths": 10, "AFAreaHeights": "10"})", "Canon"));
}

TEST(Focus, OlympusGridOfCorners) {
    expect_box(focus(R"j({"AFAreas": "(118,32)-(137,51)"})j", "Olympus"), 118 / 2.55, 32 / 2.55, 19 / 2.55, 19 / 2.55);
    // Corners given the other way round give the same box.
    expect_box(focus(R"j({"AFAreas": "(137,51)-(118,32)"})j", "Olympus"), 118 / 2.55, 32 / 2.55, 19 / 2.55, 19 / 2.55);
    for (auto notes : {R"j({"AFAreas": "(118,32)-(137)"})j", R"({"AFAreas": "none"})", R"j({"AFAreas": ["(1,2)-(3,4)"]})j"}) {
        EXPECT_FALSE(focus(notes, "Olympus")) << notes;
    }
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
    auto fuji = [](const char* pixel, const char* mode = "Single Point", std::string_view path = "a.jpg") {
        const json notes = {{"FocusPixel", pixel}, {"AFMode", mode}, {"ExifImageWidth", 1600}, {"ExifImageHeight", 1200},
                            {"ImageWidth", 6000}, {"ImageHeight", 4000}, {"RawImageFullWidth", 3000},
                            {"RawImageFullHeight", 2000}};
        return extract_focus(notes, "Fujifilm", std::nullopt, path, 1);
    };
    expect_box(fuji("800 600", "Single Point", "/p/DSCF0001.RAF"), 48.5, 48.5, 3, 3);
    // Outside the EXIF frame: the 3000 x 2000 frame is the smallest that holds it.
    expect_box(fuji("1500 1500"), 48.5, 73.5, 3, 3);
    expect_box(fuji("800 600", "Single Point", "/p/.dng"), 48.5, 48.5, 3, 3);  // no extension at all
    EXPECT_FALSE(fuji("800 600", "Single Point", "/p/x.DnG"));
    EXPECT_FALSE(fuji("800 600", "No"));
    for (auto pixel : {"0 0", "9000 9000", "800"}) EXPECT_FALSE(fuji(pixel)) << pixel;
}

TEST(Focus, ClampingTrimsOnlyRightAndBottom) {
    expect_box(focus(nikon(7000, 2000, 300, 200), "Nikon"), 100, 47.5, 0, 5);  // left edge beyond the right side
    expect_box(focus(nikon(0, 2000, 600, 200), "Nikon"), 0, 47.5, 10, 5);      // cut off at the left: width kept
    expect_box(focus(nikon(3000, 3900, 300, 400), "Nikon"), 47.5, 92.5, 5, 7.5);  // cut off at the bottom: trimmed
    EXPECT_FALSE(focus(nikon(3000, 2000, 0, 200), "Nikon"));
}

TEST(Focus, NonFiniteNumbersAndOtherBrandsGiveNoBox) {
    for (auto [x, y] : {std::pair{"nan", "0"}, std::pair{"0", "NaN"}}) {
        const json notes = {{"AFPointsInFocus", 0}, {"AFImageWidth", 100}, {"AFImageHeight", 100},
                            {"AFAreaXPositions", x}, {"AFAreaYPositions", y}, {"AFAreaWidths", "10"}, {"AFAreaHeights", "10"}};
        EXPECT_FALSE(focus(notes.dump(), "Canon")) << x << " " << y;
    }
    for (auto brand : {"Sony", "Panasonic", "Leica", "Sigma"}) EXPECT_FALSE(focus(kNikonCentre, brand)) << brand;
}
