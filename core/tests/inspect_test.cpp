#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/command.hpp"
#include "exiftool/state.hpp"
#include "metadata/inspect.hpp"
#include "orv_ql.h"
#include "metadata/tag_map.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

json inspect_json(const std::string& path) {
    return json::parse(inspect_text(path));
}

}  // namespace

TEST(Inspect, RunsInOrderWithExactCommandLines) {
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    FakeExifTool fake;
    const std::string file = (tmp / "IMG_0001.CR2").string();
    write_file(file, std::string(1000, 'x'));
    fake.on({"-n"}, {.out = "[{\"SourceFile\": \"" + file + "\", \"EXIF\": {\"Make\": \"Canon\", \"Orientation\": 6}}]"});
    fake.on({"-XMP-dc:Subject"}, {.out = "[{\"Subject\": [\"sunset\", 2024, \"beach\"]}]"});
    fake.on({"-MakerNotes:all"}, {.out = "[{\"FocusMode\": \"One-shot AF\"}]"});

    const json doc = inspect_json(file);
    const json& f = doc.at("file");
    EXPECT_EQ(f["keywords"], json::parse(R"(["sunset", "beach"])"));
    EXPECT_EQ(f["orientation"], 6);
    EXPECT_EQ(f["makerNotes"]["brand"], "Canon");
    EXPECT_EQ(f["fileSize"], 1000);
    EXPECT_EQ(f["extension"], "cr2");

    const std::string config = process::look_config()->path;
    const auto runs = fake.runs();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"-config", config, "-j", "-g", "-n", file}));
    EXPECT_EQ(runs[1], (std::vector<std::string>{"-j", "-g", "-LensID", "-LensType", "-Lens", "-LensSpec", "-LensInfo", file}));
    EXPECT_EQ(runs[2], (std::vector<std::string>{"-j", "-XMP-dc:Subject", file}));
    EXPECT_EQ(runs[3], (std::vector<std::string>{"-j", "-MakerNotes:all", "-ImageWidth", "-ImageHeight", "-ExifImageWidth",
                                                  "-ExifImageHeight", "-RawImageFullWidth", "-RawImageFullHeight", file}));
}

TEST(Inspect, AnUnknownMakeOrAFailedSecondaryRunLeavesTheMinimalRecord) {
    FakeExifTool fake;
    TempDir tmp;
    const std::string png = (tmp / "plain.png").string(), nef = (tmp / "a.nef").string();
    write_file(png, "png");
    write_file(nef, "x");
    fake.on({"-n", png}, {.out = "[{\"SourceFile\": \"" + png + "\", \"EXIF\": {\"Make\": \"Apple\", \"LensModel\": \"x\"}}]"});
    fake.on({"-n", nef}, {.out = "[{\"SourceFile\": \"" + nef + "\", \"EXIF\": {\"Make\": \"NIKON\", \"LensModel\": \"L\"}}]"});
    fake.on({"-XMP-dc:Subject", png}, {.out = "[{\"Subject\": \"solo\"}]"});
    fake.on({"-XMP-dc:Subject", nef}, {.out = "garbage"});
    fake.on({"-MakerNotes:all"}, {.out = "[{\"FocusMode\": \"AF-S\"}]", .exit_code = 1});
    json f = inspect_json(png).at("file");
    EXPECT_EQ(f["makerNotes"].dump(), R"({"brand":null,"fields":[],"focus":null})");
    EXPECT_EQ(f["keywords"], json::parse(R"(["solo"])"));
    EXPECT_EQ(f["orientation"], 1);
    EXPECT_EQ(f["hasSidecar"], false);
    EXPECT_EQ(fake.runs().size(), 2u) << "no maker-note pass for a make without a brand";
    f = inspect_json(nef).at("file");
    EXPECT_EQ(f["keywords"], json::array());
    EXPECT_EQ(f["makerNotes"]["brand"], nullptr);
    EXPECT_EQ(f["lens"], "L");
}

TEST(Inspect, ErrorEnvelopes) {
    // Files that are there, named relative to the working folder: a missing
    // one would be reported as missing before ExifTool's answer counts.
    TempDir here;
    for (auto name : {"empty.jpg", "bad.jpg", "123", "124"}) write_file(here / name, "x");
    const fs::path cwd = fs::current_path();
    fs::current_path(here.path());
    FakeExifTool fake;
    fake.on({"empty.jpg"}, {.out = "[]"});
    fake.on({"bad.jpg"}, {.out = "Error: nope"});
    EXPECT_EQ(inspect_json("empty.jpg").dump(), R"({"error":"exiftool returned nothing for empty.jpg"})");
    const std::string bad = inspect_json("bad.jpg").at("error");
    EXPECT_EQ(bad.rfind("failed to parse exiftool output: ", 0), 0u) << bad;
    for (const auto& run : fake.runs()) {
        EXPECT_NE(run[1], "-XMP-dc:Subject") << "a failed tag read ends the inspection";
    }
    // ExifTool prints a bare name that looks like a number as a number: that
    // record is still this file's, another file's record is not.
    fake.on({"123"}, {.out = R"([{"SourceFile": 123, "EXIF": {"Make": "Canon"}}])"});
    EXPECT_EQ(inspect_json("123")["file"]["make"], "Canon");
    fake.on({"124"}, {.out = R"([{"SourceFile": 125, "EXIF": {"Make": "Canon"}}])"});
    EXPECT_EQ(inspect_json("124").dump(), R"({"error":"exiftool returned nothing for 124"})");
    fs::current_path(cwd);
}

TEST(Inspect, InvalidUtf8InAnyRunLosesOnlyThatByte) {
    FakeExifTool fake;
    fake.on({"-n"}, {.out = "[{\"SourceFile\": \"a.jpg\", \"EXIF\": {\"Make\": \"Canon\", \"Model\": \"E\xFFOS\"}}]"});
    fake.on({"-XMP-dc:Subject"}, {.out = "[{\"Subject\": [\"caf\xE9\", \"sea\"]}]"});
    fake.on({"-MakerNotes:all"}, {.out = "[{\"FocusMode\": \"One-shot\xFF AF\"}]"});
    const json f = inspect_json("a.jpg").at("file");
    EXPECT_EQ(f["model"], "E\xEF\xBF\xBDOS");
    EXPECT_EQ(f["keywords"], json::parse(R"(["caf\ufffd", "sea"])"));
    EXPECT_EQ(f["makerNotes"]["brand"], "Canon");
    EXPECT_FALSE(f["makerNotes"]["fields"].empty());
}

TEST(Inspect, PathDerivedMembersAndSidecar) {
    FakeExifTool fake;
    TempDir tmp;
    fake.on({"-n"}, {.out = R"([{"SourceFile": "{LAST_ARG}"}])"});

    write_file(tmp / "IMG_0001.CR3", "raw");
    write_file(tmp / "IMG_0001.xmp", "<x/>");
    write_file(tmp / "IMG_0002.CR3", "raw");
    write_file(tmp / "IMG_0002.CR3.xmp", "<x/>");
    write_file(tmp / "photo.", "p");
    write_file(tmp / "side.xmp", "<x/>");
    write_file(tmp / "\xC3\x89T\xC3\x89.J\xC3\x8FG", "p");

    auto f = [&](const std::string& name) { return inspect_json((tmp / name).string()).at("file"); };
    EXPECT_EQ(f("IMG_0001.CR3")["hasSidecar"], true);
    EXPECT_EQ(f("IMG_0002.CR3")["hasSidecar"], false);
    EXPECT_EQ(f("side.xmp")["hasSidecar"], true);  // the probe finds the file itself
    EXPECT_EQ(f("photo.")["extension"], "");
    EXPECT_EQ(f("photo.")["filename"], "photo.");
    EXPECT_EQ(f("\xC3\x89T\xC3\x89.J\xC3\x8FG")["extension"], "j\xC3\xAFg");
    EXPECT_EQ(f("missing.jpg")["fileSize"], nullptr);
    EXPECT_EQ(f("IMG_0001.CR3")["fileSize"], 3);

    fs::create_symlink(tmp / "IMG_0001.CR3", tmp / "link.CR3");
    EXPECT_EQ(f("link.CR3")["fileSize"], 3);  // sizes follow symbolic links
    EXPECT_EQ(f("link.CR3")["hasSidecar"], false);

    // Folders are not read at all, so ExifTool is never asked about them.
    const size_t runs = fake.runs().size();
    EXPECT_EQ(inspect_json("/"), json({{"error", "not a regular file: /"}}));
    EXPECT_EQ(inspect_json((tmp / "..").string()), json({{"error", "not a regular file: " + (tmp / "..").string()}}));
    EXPECT_EQ(fake.runs().size(), runs);
}

TEST(Inspect, PathsStartingWithADashNeverReachExifToolAsOptions) {
    FakeExifTool fake;
    fake.on({"-n"}, {.out = R"([{"SourceFile": "./-n.jpg", "EXIF": {"Make": "Canon"}}])"});
    const json f = inspect_json("-n.jpg").at("file");
    EXPECT_EQ(f["path"], "-n.jpg");
    EXPECT_EQ(f["filename"], "-n.jpg");
    for (const auto& run : fake.runs()) {
        EXPECT_EQ(run.back(), "./-n.jpg");
        for (const auto& a : run) EXPECT_NE(a, "-n.jpg");
    }
}

TEST(Inspect, TagsOfEveryWrongKindAreSimplyAbsent) {
    FakeExifTool fake;
    std::string tags;
    for (auto tag : {"Make", "Model", "FNumber", "ExposureTime", "ISO", "FocalLength", "Orientation", "Rating",
                     "LensModel", "DateTimeOriginal", "Copyright", "Artist", "Title", "Description", "Label",
                     "OrvantaCameraLook", "SerialNumber", "GPSLatitude", "GPSLongitude", "ImageSize", "FileType"}) {
        tags += std::string(tags.empty() ? "" : ",") + "\"" + tag + "\": {\"nested\": [1, null, true]}";
    }
    fake.on({"-n"}, {.out = R"([{"SourceFile": "w.jpg", "EXIF": {)" + tags + R"(}, "XMP": [1, 2], "Composite": null}])"});
    fake.on({"-XMP-dc:Subject"}, {.out = R"([{"Subject": {"a": 1}}])"});
    const json f = inspect_json("w.jpg").at("file");
    for (auto key : {"make", "model", "aperture", "shutterSpeed", "iso", "focalLength", "rating", "lens", "dateTaken",
                     "copyright", "artist", "title", "caption", "colorLabel", "lookName", "gpsLat", "gpsLon", "width"}) {
        EXPECT_TRUE(f[key].is_null()) << key;
    }
    EXPECT_EQ(f["orientation"], 1);
    EXPECT_EQ(f["hasSerialNumbers"], false);
    EXPECT_EQ(f["keywords"], json::array());
}
