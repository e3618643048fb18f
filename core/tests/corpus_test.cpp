// The inspection over real camera files with Debian's ExifTool, against
// values read off `exiftool -j -g -n` and the maker-note tags by hand.
#include <gtest/gtest.h>

#include "orv_ql.h"
#include "metadata/tag_map.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

class Corpus : public ::testing::Test {
protected:
    json inspect(const std::string& relative) {
        const json doc = json::parse(inspect_text(corpus(relative).string()));
        EXPECT_TRUE(doc.contains("file")) << relative << ": " << doc.dump();
        return doc.contains("file") ? doc["file"] : json::object();
    }
    void expect_focus(const json& f, double x, double y, double w, double h) {
        const json& p = f["makerNotes"]["focus"];
        ASSERT_TRUE(p.is_object()) << f["path"];
        EXPECT_NEAR(p["x"].get<double>(), x, 1e-6);
        EXPECT_NEAR(p["y"].get<double>(), y, 1e-6);
        EXPECT_NEAR(p["w"].get<double>(), w, 1e-6);
        EXPECT_NEAR(p["h"].get<double>(), h, 1e-6);
    }
    TempDir tmp_;
    ScopedEnv env_{"TMPDIR", tmp_.path().string()};
};

json fields(const std::vector<std::pair<std::string, std::string>>& rows) {
    json a = json::array();
    for (const auto& [l, v] : rows) a.push_back({{"label", l}, {"value", v}});
    return a;
}

}  // namespace

TEST_F(Corpus, FocusBoxesFromTheMakerNotes) {
    // Canon EOS: area 13 of 45, offset (311, -277) from the centre of 3888 x 2592, 112 x 168.
    // Canon compacts count offsets downwards: area 4 at the centre of 1088 x 245, 196 x 44.
    // Olympus: "Center (121,121)-(133,133)" on the 255 grid.
    // Fujifilm: focus pixel (1648, 1236) in 3296 x 2472, a 3 % box around it.
    const std::tuple<const char*, double, double, double, double> cases[] = {
        {"exiftool-t/Canon1DmkIII.jpg", (1944 + 311 - 56) / 38.88, (1296 + 277 - 84) / 25.92, 112 / 38.88, 168 / 25.92},
        {"metadata-extractor/jpg/Canon PowerShot SD850 IS.jpg", (544 - 98) / 10.88, (122.5 - 22) / 2.45, 196 / 10.88,
         44 / 2.45},
        {"exiftool-t/OlympusE1.jpg", 121 / 2.55, 121 / 2.55, 12 / 2.55, 12 / 2.55},
        {"metadata-extractor/jpg/FujiFilm FinePix F40fd.jpg", 48.5, 48.5, 3, 3}};
    for (const auto& [file, x, y, w, h] : cases) {
        SCOPED_TRACE(file);
        expect_focus(inspect(file), x, y, w, h);
    }
}

TEST_F(Corpus, QuarterTurnedPictureSwapsSizeAndFocusBox) {
    const json f = inspect("exif-samples/jpg/hdr/canon_hdr_YES.jpg");
    EXPECT_EQ(f["orientation"], 6);
    EXPECT_EQ(f["width"], 1536);   // ImageSize 2048x1536 stored turned
    EXPECT_EQ(f["height"], 2048);
    // Area 0 (829 x 622 at the centre of 4608 x 3456), then turned clockwise.
    const double x = (2304 - 414.5) / 4608, y = (1728 - 311) / 3456.0, w = 829 / 4608.0, h = 622 / 3456.0;
    expect_focus(f, (1 - (y + h)) * 100, x * 100, h * 100, w * 100);
    EXPECT_EQ(f["makerNotes"]["fields"][1], json::parse(R"({"label": "AF area mode", "value": "Single-point AF"})"));
}

TEST_F(Corpus, NikonRawLensNamedByTheSecondRun) {
    const json f = inspect("exiftool-t/Nikon.nef");
    EXPECT_EQ(f["make"], "NIKON CORPORATION");
    EXPECT_EQ(f["lens"], "AF-S DX Zoom-Nikkor 18-70mm f/3.5-4.5G IF-ED");
    EXPECT_EQ(f["shutterCount"], 3619);
    EXPECT_EQ(f["caption"], "A caption");
    EXPECT_EQ(f["aperture"], 3.5);
    EXPECT_EQ(f["shutterSpeed"], 0.05);
    EXPECT_EQ(f["iso"], 200);
    EXPECT_EQ(f["makerNotes"]["brand"], "Nikon");
    EXPECT_EQ(f["makerNotes"]["fields"].back(), json::parse(R"({"label": "Shutter count", "value": "3619"})"));
    EXPECT_TRUE(f["makerNotes"]["focus"].is_null());
}

TEST_F(Corpus, PentaxLensCodeBecomesItsName) {
    const json f = inspect("exiftool-t/Pentax.jpg");
    EXPECT_EQ(f["lens"], "Sigma AF 10-20mm F4-5.6 EX DC");  // numeric output says "3 44"
    EXPECT_EQ(f["orientation"], 8);
    EXPECT_EQ(f["makerNotes"]["fields"],
              fields({{"Focus mode", "AF-S (Focus-priority)"},
                      {"AF point", "Center (horizontal)"},
                      {"Flash mode", "Off, Did not fire; Internal"},
                      {"Shooting mode", "Aperture Priority; 1/3 EV steps"},
                      {"Drive mode", "Single-frame; No Timer; Shutter Button; Single Exposure"},
                      {"Shutter count", "1648"}}));
}

TEST_F(Corpus, FujifilmLookNameAndFilmSimulation) {
    const json f = inspect("exiftool-t/FujiFilm.raf");
    EXPECT_EQ(f["lookName"], "Provia");  // "F0/Standard (Provia)" through the look tag
    EXPECT_EQ(f["hasSerialNumbers"], true);
    EXPECT_EQ(f["makerNotes"]["fields"][3], json::parse(R"({"label": "Film simulation", "value": "Provia"})"));
    EXPECT_EQ(f["makerNotes"]["fields"].size(), 6u);
}

TEST_F(Corpus, OtherBrandsFields) {
    EXPECT_EQ(inspect("exiftool-t/Panasonic.jpg")["makerNotes"]["fields"],
              fields({{"Focus mode", "Auto"}, {"AF area mode", "9-area"}, {"Shooting mode", "Program"},
                      {"Drive mode", "Off"}, {"Image stabilization", "On, Mode 2"}}));
    const json olympus = inspect("metadata-extractor/jpg/Olympus PEN E-P3.jpg");
    EXPECT_EQ(olympus["lookName"], "Natural");
    EXPECT_EQ(olympus["makerNotes"]["fields"].back(), json::parse(R"({"label": "Picture mode", "value": "Natural"})"));
    EXPECT_EQ(inspect("exiftool-t/Canon.jpg")["makerNotes"]["fields"],
              fields({{"Focus mode", "Manual Focus (3)"}, {"Drive mode", "Continuous"}, {"Macro mode", "Unknown (0)"}}));
    const json sony = inspect("exiftool-t/Sony.jpg");
    EXPECT_EQ(sony["makerNotes"]["brand"], "Sony");
    EXPECT_EQ(sony["makerNotes"]["fields"], json::array());  // none of the table's tags in this file
    EXPECT_EQ(inspect("exiftool-t/Sigma.jpg")["makerNotes"]["fields"],
              fields({{"Focus mode", "AF-S"}, {"Drive mode", "SINGLE"}, {"Shooting mode", "Program AE"}}));
}

TEST_F(Corpus, KeywordsSidecarTitleAndPosition) {
    const json xmp = inspect("exiftool-t/XMP.jpg");
    EXPECT_EQ(xmp["keywords"], json::parse(R"(["ExifTool", "Test", "XMP"])"));
    EXPECT_EQ(xmp["hasSidecar"], true);  // XMP.xmp lies beside it
    EXPECT_EQ(xmp["title"], "Test IPTC picture");
    EXPECT_EQ(inspect("exiftool-t/Canon.jpg")["hasSidecar"], false);
    const json gps = inspect("exiftool-t/GPS.jpg");
    EXPECT_NEAR(gps["gpsLat"].get<double>(), 54.9896666666667, 1e-9);
    EXPECT_NEAR(gps["gpsLon"].get<double>(), -1.91416666666667, 1e-9);
    EXPECT_EQ(gps["artist"], "Ian Britton");
}

// Damaged and missing files: each gives its documented envelope, never a
// crash or a hang.
TEST_F(Corpus, MissingEmptyUnknownAndTruncatedFiles) {
    const auto envelope = [](const std::string& path) { return json::parse(inspect_text(path)); };
    const std::string missing = (tmp_ / "missing.jpg").string();
    EXPECT_EQ(envelope(missing).value("error", ""), "no such file: " + missing);
    fs::create_symlink("loop.jpg", tmp_ / "loop.jpg");
    EXPECT_EQ(envelope((tmp_ / "loop.jpg").string()).value("error", ""),
              "too many levels of symbolic links: " + (tmp_ / "loop.jpg").string());
    write_file(tmp_ / "empty.jpg", "");
    write_file(tmp_ / "notes.txt", "just text\n");
    const std::string jpeg = read_file(corpus("exif-samples/jpg/Canon_40D.jpg"));
    write_file(tmp_ / "half.jpg", jpeg.substr(0, jpeg.size() / 2));
    for (auto name : {"empty.jpg", "notes.txt", "half.jpg"}) {
        const json doc = envelope((tmp_ / name).string());
        ASSERT_TRUE(doc.contains("file")) << name << ": " << doc.dump();
        EXPECT_EQ(doc["file"]["filename"], name);
    }
    EXPECT_EQ(envelope((tmp_ / "empty.jpg").string())["file"]["fileSize"], 0);
}
