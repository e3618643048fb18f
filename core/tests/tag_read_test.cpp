#include <gtest/gtest.h>

#include "metadata/tag_read.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

InspectedFile from(const char* text) {
    return record_from_tags(flatten_groups(json::parse(text)));
}

}  // namespace

TEST(TagRecord, PositiveConditionsAndFirstKeyDecides) {
    auto d = from(R"({"EXIF": {"ISO": 0, "FNumber": "f/2.8", "Aperture": 2.8, "ExposureTime": 0.004,
                              "FocalLength": -5, "Rating": -1, "Orientation": 6}})");
    EXPECT_FALSE(d.iso);
    EXPECT_FALSE(d.aperture);  // FNumber present but not a number: Aperture not consulted
    EXPECT_EQ(d.shutterSpeed, 0.004);
    EXPECT_FALSE(d.focalLength);
    EXPECT_EQ(d.rating, -1);
    EXPECT_EQ(d.orientation, 6);
    d = from(R"({"EXIF": {"ISO": 100.0, "ShutterSpeedValue": 0.5, "Aperture": 4}})");
    EXPECT_FALSE(d.iso);
    EXPECT_EQ(d.shutterSpeed, 0.5);
    EXPECT_EQ(d.aperture, 4.0);
}

TEST(TagRecord, TextsKeptExactlyAndFallbacks) {
    auto d = from(R"({"XMP": {"Title": "", "Description": " caption ", "Label": "Red"},
                      "IPTC": {"ObjectName": "obj", "Caption-Abstract": "iptc"},
                      "EXIF": {"Make": "Canon", "Copyright": "\u00a9 me"}})");
    EXPECT_EQ(d.title, "");
    EXPECT_EQ(d.caption, " caption ");
    EXPECT_EQ(d.colorLabel, "Red");
    EXPECT_EQ(d.copyright, "\xC2\xA9 me");
    d = from(R"({"IPTC": {"ObjectName": "obj", "Caption-Abstract": "iptc"}})");
    EXPECT_EQ(d.title, "obj");
    EXPECT_EQ(d.caption, "iptc");
    EXPECT_FALSE(from(R"({"XMP": {"Title": 5}, "IPTC": {"ObjectName": "obj"}})").title);  // the first present decides
}

TEST(TagRecord, SerialNumberFromTheFirstPresentTag) {
    EXPECT_TRUE(from(R"({"MakerNotes": {"InternalSerialNumber": "X1"}})").hasSerialNumbers);
    EXPECT_FALSE(from(R"({"EXIF": {"SerialNumber": 123, "CameraSerialNumber": "abc"}})").hasSerialNumbers);
    EXPECT_FALSE(from(R"({"EXIF": {"SerialNumber": "  "}, "MakerNotes": {"LensSerialNumber": "L"}})").hasSerialNumbers);
    EXPECT_TRUE(from(R"({"MakerNotes": {"LensSerialNumber": "L"}})").hasSerialNumbers);
}

TEST(TagRecord, ShutterCountByBrand) {
    EXPECT_EQ(from(R"({"EXIF": {"Make": "SONY"}, "MakerNotes": {"ShutterCount": 1234}})").shutterCount, 1234);
    EXPECT_EQ(from(R"({"EXIF": {"Make": "FUJIFILM"}, "MakerNotes": {"ImageCount": 77, "ShutterCount": 5}})").shutterCount, 77);
    EXPECT_FALSE(from(R"({"EXIF": {"Make": "Panasonic"}, "MakerNotes": {"ShutterCount": 5}})").shutterCount);
    EXPECT_FALSE(from(R"({"EXIF": {"Make": "Canon"}, "MakerNotes": {"ShutterCount": 0}})").shutterCount);
}

TEST(TagRecord, DateRule) {
    EXPECT_EQ(normalize_date("2024-05-01T10:20:30Z"), "2024:05:01 10:20:30");
    EXPECT_EQ(normalize_date("2021-03-04T05:06:07.123+01:00"), "2021:03:04 05:06:07");
    EXPECT_EQ(normalize_date("2021:03:04 05:06:07+01:00"), "2021:03:04 05:06:07+01:00");
    EXPECT_EQ(normalize_date("2021-03-04"), "2021-03-04");
    // A cut or a replacement inside a character leaves the text alone.
    EXPECT_EQ(normalize_date("2021-03-04T05:06:0\xC3\xA9"), "2021-03-04T05:06:0\xC3\xA9");
    EXPECT_EQ(normalize_date("2021-03-04\xC3\xA9" "05:06:07"), "2021-03-04\xC3\xA9" "05:06:07");
    const auto d = from(R"({"XMP": {"CreateDate": "2024-05-01T10:20:30Z"}, "EXIF": {"ModifyDate": "2000:01:01 00:00:00"}})");
    EXPECT_EQ(d.dateTaken, "2024:05:01 10:20:30");
}

TEST(Dimensions, ImageSizeFirstAndForRawFilesCropThenTheEightyPercentRule) {
    const std::tuple<const char*, int64_t, int64_t> cases[] = {
        {R"({"File": {"FileType": "JPEG"}, "Composite": {"ImageSize": "4000 3000"},
             "EXIF": {"ExifImageWidth": 1600, "ExifImageHeight": 1200}})", 4000, 3000},
        {R"({"File": {"ImageWidth": 640, "ImageHeight": 480}})", 640, 480},
        {R"({"EXIF": {"ExifImageWidth": 320, "ExifImageHeight": 240}})", 320, 240},
        {R"({"Composite": {"ImageSize": "0 480"}})", -1, -1},
        {R"({"File": {"FileType": "NEF"}, "EXIF": {"Make": "NIKON CORPORATION", "Orientation": 1},
             "Composite": {"ImageSize": "6080 4044"}, "MakerNotes": {"DefaultCropSize": "6016 4016"}})", 6016, 4016},
        {R"({"File": {"FileType": "NEF"}, "EXIF": {"Make": "NIKON CORPORATION", "Orientation": 6},
             "Composite": {"ImageSize": "6080 4044"}, "MakerNotes": {"DefaultCropSize": "6016 4016"}})", 4016, 6016},
        // EXIF sizes count for RAW files only when they reach 80 % of ImageSize.
        {R"({"File": {"FileType": "dng"}, "Composite": {"ImageSize": "4000 3000"},
             "EXIF": {"ExifImageWidth": 1600, "ExifImageHeight": 1200}})", 4000, 3000},
        {R"({"File": {"FileType": "dng"}, "Composite": {"ImageSize": "4000 3000"},
             "EXIF": {"ExifImageWidth": 3900, "ExifImageHeight": 2925}})", 3900, 2925},
        // Nikon's CropArea counts only for Nikon; Olympus crop only for Olympus.
        {R"({"File": {"FileType": "NEF"}, "EXIF": {"Make": "Canon"},
             "MakerNotes": {"CropArea": "0 0 100 50"}, "File2": {"ImageWidth": 8, "ImageHeight": 6}})", 8, 6},
        {R"({"File": {"FileType": "ORF"}, "EXIF": {"Make": "OLYMPUS"}, "MakerNotes": {"CropWidth": 4608,
             "CropHeight": 3456}, "Composite": {"ImageSize": "4640 3472"}})", 4608, 3456},
    };
    for (const auto& [tags, w, h] : cases) {
        SCOPED_TRACE(tags);
        const auto d = from(tags);
        EXPECT_EQ(d.width.value_or(-1), w);
        EXPECT_EQ(d.height.value_or(-1), h);
    }
}

TEST(ReadBatch, LensReReadOnlyForMissingOrHexLenses) {
    FakeExifTool fake;
    fake.on({"-n", "a.nef"}, {.out = R"([{"SourceFile": "a.nef", "EXIF": {"Make": "NIKON", "LensID": "8A 3C 37 53 1E 24 86 0E"}},
                                          {"SourceFile": "b.jpg", "EXIF": {"LensModel": "EF50mm f/1.8"}},
                                          {"SourceFile": "c.jpg"}])"});
    fake.on({"-LensID"}, {.out = R"([{"SourceFile": "a.nef", "Composite": {"LensID": "AF-S Nikkor 24-70mm"}},
                                     {"SourceFile": "c.jpg", "EXIF": {"LensModel": "05 06 07 08"}}])"});
    const auto records = read_batch({"a.nef", "b.jpg", "c.jpg"});
    ASSERT_TRUE(records) << records.error();
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ((*records)[0].file.lens, "AF-S Nikkor 24-70mm");
    EXPECT_EQ((*records)[1].file.lens, "EF50mm f/1.8");
    EXPECT_FALSE((*records)[2].file.lens);  // the re-read gave only hex: no lens rather than bytes

    const auto runs = fake.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1], (std::vector<std::string>{"-j", "-g", "-LensID", "-LensType", "-Lens", "-LensSpec",
                                                  "-LensInfo", "a.nef", "c.jpg"}));
}

TEST(ReadBatch, FailuresCarryTheirPrefix) {
    FakeExifTool fake;
    fake.on({"text.jpg"}, {.out = "not json", .exit_code = 1});
    fake.on({"object.jpg"}, {.out = R"({"not": "an array"})"});
    fake.on({"missing.jpg"}, {.out = "[]", .err = "Error: File not found", .exit_code = 1});
    const auto text = read_batch({"text.jpg"});
    ASSERT_FALSE(text);
    EXPECT_EQ(text.error().rfind("failed to parse exiftool output: ", 0), 0u) << text.error();
    EXPECT_FALSE(read_batch({"object.jpg"}));
    const auto missing = read_batch({"missing.jpg"});
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->empty());
}

TEST(ReadBatch, ANameThatLooksLikeANumberIsStillMatchedForTheLensReread) {
    // ExifTool prints such a name as a JSON number in both runs.
    FakeExifTool fake;
    fake.on({"-LensID"}, {.out = R"([{"SourceFile": 123, "Composite": {"LensID": "Sigma AF 10-20mm"}}])"});
    fake.on({"-n"}, {.out = R"([{"SourceFile": 123, "EXIF": {"Make": "PENTAX", "LensType": "3 44"}}])"});
    const auto r = read_batch({"123"});
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)[0].sourceFile, "123");
    EXPECT_EQ((*r)[0].file.lens, "Sigma AF 10-20mm");
}
