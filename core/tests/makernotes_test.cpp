#include <gtest/gtest.h>

#include "metadata/makernotes.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::vector<std::pair<std::string, std::string>> fields(const char* notes, std::string_view brand) {
    const json n = json::parse(notes);
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& f : extract_fields(&n, brand)) out.emplace_back(f.label, f.value);
    return out;
}

using Rows = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST(MakerNoteFields, ValuesBecomeTextInTableOrder) {
    EXPECT_EQ(fields(R"({"ShutterCount": 12345, "MacroMode": false, "FocusMode": "", "FlashMode": 2.0,
                        "ImageStabilization": -1, "AFAreaMode": ["a"], "ContinuousDrive": null})", "Canon"),
              (Rows{{"Focus mode", ""}, {"Flash mode", "2.0"}, {"Image stabilization", "-1"},
                    {"Macro mode", "false"}, {"Shutter count", "12345"}}));
    EXPECT_EQ(fields(R"({"ShutterCount": 1, "VRMode": 0.1})", "Nikon"),
              (Rows{{"Vibration reduction", "0.1"}, {"Shutter count", "1"}}));
    EXPECT_TRUE(fields("{}", "Canon").empty());
    EXPECT_TRUE(extract_fields(nullptr, "Canon").empty());
}

TEST(MakerNoteFields, LabelsAndLookNamesComeFromTheBrandsOwnTable) {
    const char* notes = R"j({"PictureMode": "F1/Studio (Astia); x", "AFMode": "Zone", "FilmMode": "F2/Fujichrome (Velvia)"})j";
    EXPECT_EQ(fields(notes, "Fujifilm"),
              (Rows{{"AF mode", "Zone"}, {"Shooting mode", "F1/Studio (Astia); x"}, {"Film simulation", "Velvia"}}));
    EXPECT_EQ(fields(notes, "Sigma"), (Rows{{"Focus mode", "Zone"}, {"Picture mode", "Astia"}}));
    EXPECT_EQ(fields(notes, "Ricoh/Pentax"), (Rows{{"AF mode", "Zone"}, {"Shooting mode", "F1/Studio (Astia); x"}}));
    EXPECT_EQ(fields(R"({"CreativeStyle": "  ; ", "ReleaseMode": "Normal"})", "Sony"),
              (Rows{{"Creative style", "  ; "}, {"Drive mode", "Normal"}}));
    EXPECT_EQ(fields(R"({"PictureMode": "Vivid; 2", "WhiteBalance": "Auto"})", "Olympus"), (Rows{{"Picture mode", "Vivid"}}));
    EXPECT_EQ(fields(R"({"WhiteBalance": "Auto", "FocusDistance": 1.5})", "Leica"),
              (Rows{{"White balance", "Auto"}, {"Focus distance", "1.5"}}));
    EXPECT_EQ(fields(R"({"BurstMode": "Off", "SceneMode": "Off"})", "Panasonic"),
              (Rows{{"Drive mode", "Off"}, {"Scene mode", "Off"}}));
}

// Its command line, and no pass for a make without a brand: inspect_test.
TEST(MakerNotePass, TheThreeOutcomes) {
    FakeExifTool fake;
    fake.on({"ok.jpg"}, {.out = R"([{"SourceFile": "ok.jpg", "FocusMode": "AF-S", "AFAreaXPosition": 3000,
        "AFAreaYPosition": 2000, "AFAreaWidth": 300, "AFAreaHeight": 200, "AFImageWidth": 6000, "AFImageHeight": 4000}])"});
    fake.on({"fails.jpg"}, {.out = R"([{"FocusMode": "AF-S"}])", .exit_code = 1});
    fake.on({"garbage.jpg"}, {.out = "[{} trailing"});
    fake.on({"empty.jpg"}, {.out = " [ ] \n"});
    fake.on({"scalar.jpg"}, {.out = "[5]"});

    const auto ok = analyse_maker_notes({"ok.jpg", "NIKON CORPORATION", "NIKON D850", 1});
    EXPECT_EQ(ok.brand, "Nikon");
    ASSERT_EQ(ok.fields.size(), 1u);
    EXPECT_EQ(ok.fields[0].value, "AF-S");
    ASSERT_TRUE(ok.focus);
    EXPECT_DOUBLE_EQ(ok.focus->x, 47.5);

    for (auto path : {"fails.jpg", "garbage.jpg"}) {
        const auto failed = analyse_maker_notes({path, "Canon", std::nullopt, 1});
        EXPECT_FALSE(failed.brand) << path;  // the brand is dropped with the failed pass
        EXPECT_TRUE(failed.fields.empty());
    }
    for (auto path : {"empty.jpg", "scalar.jpg"}) {
        const auto no_object = analyse_maker_notes({path, "Canon", std::nullopt, 1});
        EXPECT_EQ(no_object.brand, "Canon") << path;
        EXPECT_TRUE(no_object.fields.empty());
        EXPECT_FALSE(no_object.focus);
    }
}
