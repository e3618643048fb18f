// Phone and web pictures (HEIC, AVIF, WebP, JPEG XL), made at test time with
// the encoders Debian ships, decoded through the whole pipeline the way the
// interface asks for them: inspected first, then previewed with the
// orientation the inspection reported. Damaged and hostile ones give no
// picture.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fixtures.hpp"
#include "preview/orient.hpp"
#include "preview/preview.hpp"

using namespace orv;
using namespace orv::test;

namespace {

// A camera JPEG whose EXIF (maker, model, date, orientation "turn 90
// clockwise") goes into the made files.
const fs::path kCameraJpeg = corpus("metadata-extractor/jpg/Panasonic DMC-FZ18.jpg");

// A portrait picture; stored turned a quarter counter-clockwise, as a phone
// held upright stores it beside an EXIF orientation of 6.
const Picture kUpright = quadrants({320, 480});
const Size kPreviewSize{1200, 1800};
// Display P3 green as sRGB: out of its gamut in red and blue, which clip.
constexpr Rgb kP3Green = kGreen, kP3GreenAsSrgb{0, 204, 0};

// The camera's EXIF into a file, the orientation stated explicitly.
void copy_exif(const std::string& file) {
    run_ok("perl", {staged_exiftool().string(), "-q", "-m", "-overwrite_original", "-TagsFromFile",
                    kCameraJpeg.string(), "-exif:all", "-Orientation#=6", file});
}

nlohmann::json inspected(const fs::path& file) {
    const auto j = nlohmann::json::parse(inspect_as_children(ORVQL_ORV_QL, file.string()), nullptr, false);
    return j.is_object() && j.contains("file") ? j["file"] : nlohmann::json{};
}

// The folder the files are made in, for the whole suite.
TempDir* made_in = nullptr;
std::string at(const std::string& name) {
    return (*made_in / name).string();
}

class Formats : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        made_in = new TempDir;
        const Picture sideways = preview::orient(quadrants(kUpright.size), 8);
        write_file(at("upright.png"), make_png(kUpright));
        write_file(at("sideways.png"), make_png(sideways));
        write_file(at("sideways.jpg"), make_jpeg(sideways, {.subsampling = TJSAMP_444}));
        copy_exif(at("sideways.jpg"));
        write_file(at("p3.png"), make_png(solid(kUpright.size, kP3Green)));
    }
    static void TearDownTestSuite() {
        delete made_in;
        made_in = nullptr;
    }
};

// A file made by one encoder run; arguments starting with '@' name files in
// the suite's folder.
struct Made {
    std::string name;
    std::string file;
    std::vector<std::string> command;
    bool add_exif = false;  // the camera's EXIF written in afterwards
    bool exif = false;      // whether the panel gets the camera's EXIF
    std::vector<Rgb> want = {kRed, kGreen, kBlue, kWhite};

    void make() const {
        std::vector<std::string> args;
        for (const std::string& a : command) args.push_back(a.starts_with('@') ? at(a.substr(1)) : a);
        run_ok(args.front(), {args.begin() + 1, args.end()});
        if (add_exif) copy_exif(at(file));
    }
};

const std::vector<Made> kMade = {
    {"HEIC, no EXIF", "plain.heic", {"heif-enc", "-q", "90", "@upright.png", "-o", "@plain.heic"}},
    // heif-enc keeps the EXIF and writes no irot: the EXIF turns it.
    {"HEIC, EXIF orientation only", "exif.heic", {"heif-enc", "-q", "90", "@sideways.jpg", "-o", "@exif.heic"}, false,
     true},
    {"AVIF, no EXIF", "plain.avif", {"avifenc", "-s", "10", "@upright.png", "@plain.avif"}},
    // avifenc turns the EXIF orientation into irot and keeps the tag, as
    // phones do: turned once, by the container.
    {"AVIF, irot and the same EXIF orientation", "turned.avif",
     {"avifenc", "-s", "10", "@sideways.jpg", "@turned.avif"}, false, true},
    {"WebP, no EXIF", "plain.webp", {"cwebp", "-quiet", "@upright.png", "-o", "@plain.webp"}},
    {"WebP, EXIF orientation", "exif.webp",
     {"cwebp", "-quiet", "-metadata", "exif", "@sideways.jpg", "-o", "@exif.webp"}, false, true},
    {"JPEG XL, no EXIF", "plain.jxl", {"cjxl", "--quiet", "@upright.png", "@plain.jxl"}},
    {"JPEG XL, EXIF orientation", "exif.jxl", {"cjxl", "--quiet", "@sideways.png", "@exif.jxl"}, true, true},
    // A JPEG carried over losslessly: cjxl moves its EXIF orientation into
    // the codestream (and packs the EXIF, which ExifTool 12.57 cannot read).
    {"JPEG XL, orientation of its own", "turned.jxl", {"cjxl", "--quiet", "@sideways.jpg", "@turned.jxl"}},
    {"HEIC named .webp", "heic-inside.webp", {"heif-enc", "@upright.png", "-o", "@heic-inside.webp"}},
    // Display P3 by its nclx values, as phones mark it.
    {"Display P3 AVIF",
     "p3.avif",
     {"avifenc", "-s", "10", "--cicp", "12/13/6", "@p3.png", "@p3.avif"},
     false,
     false,
     {kP3GreenAsSrgb, kP3GreenAsSrgb, kP3GreenAsSrgb, kP3GreenAsSrgb}},
};

}  // namespace

TEST_F(Formats, EachPreviewsUprightFittedInSrgbWithItsExifInThePanel) {
    const nlohmann::json camera = inspected(kCameraJpeg);
    ASSERT_TRUE(camera.contains("make") && camera["make"].is_string());
    for (const Made& m : kMade) {
        SCOPED_TRACE(m.name);
        m.make();
        const fs::path file = at(m.file);
        const nlohmann::json record = inspected(file);
        ASSERT_TRUE(record.is_object() && record.contains("orientation"));
        if (m.exif) {
            EXPECT_EQ(record["make"], camera["make"]);
            EXPECT_EQ(record["model"], camera["model"]);
            EXPECT_EQ(record["dateTaken"], camera["dateTaken"]);
        }
        // The orientation the interface passes on, and the file's own.
        const auto preview = preview_of(file, record["orientation"].get<int64_t>());
        ASSERT_TRUE(preview);
        EXPECT_EQ(preview->size, kPreviewSize);
        const auto thumbnail = thumbnail_of(file, 240);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->size, (Size{160, 240}));
        EXPECT_LE(quadrant_error(*preview, m.want), 12) << "preview";
        EXPECT_LE(quadrant_error(*thumbnail, m.want), 12) << "thumbnail";
    }
}

namespace {

// One made file, made again.
void make(const std::string& file) {
    for (const Made& m : kMade) {
        if (m.file == file) m.make();
    }
}

// A copy of a made file with `bytes` written over it at the box `type`'s
// body, `skip` bytes in.
std::string patched(const std::string& file, const std::string& type, size_t skip, const std::string& bytes) {
    std::string s = read_file(at(file));
    const size_t box = s.find(type);
    if (box == std::string::npos || box + 4 + skip + bytes.size() > s.size()) return {};
    s.replace(box + 4 + skip, bytes.size(), bytes);
    return s;
}

// A bare JPEG XL codestream whose header claims 65535 x 65535 pixels and
// otherwise everything default; its bits go least significant first.
std::string jxl_claiming_65535() {
    std::string out = "\xFF\x0A";
    uint64_t bits = 0;
    int used = 0;
    const auto put = [&](uint64_t value, int n) {
        bits |= value << used;
        used += n;
    };
    put(0, 1);          // not a small size
    put(2, 2);          // height: 1 + 18 bits
    put(65534, 18);
    put(0, 3);          // no ratio: the width follows
    put(2, 2);          // width: 1 + 18 bits
    put(65534, 18);
    put(1, 1);          // image metadata all default
    for (int i = 0; i < 64; i += 8) out += static_cast<char>((bits >> i) & 0xFF);
    return out + std::string(64, '\0');
}

}  // namespace

TEST_F(Formats, BrokenOrHostileFilesGiveNoPictureInBoundedMemory) {
    for (const char* file : {"plain.heic", "plain.avif", "plain.webp", "plain.jxl", "exif.webp"}) make(file);
    const auto half = [](const std::string& file) {
        const std::string s = read_file(at(file));
        return s.substr(0, s.size() / 2);
    };
    const std::string big_be = std::string("\x00\x00\xFF\xFF", 4);
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"cut.heic", half("plain.heic")},
        {"cut.avif", half("plain.avif")},
        {"cut.webp", half("plain.webp")},
        {"cut.jxl", half("plain.jxl")},
        // ispe: version and flags, then width and height.
        {"huge.heic", patched("plain.heic", "ispe", 4, big_be + big_be)},
        // VP8X: flags, then the canvas width and height less one, 24 bits each.
        {"huge.webp", patched("exif.webp", "VP8X", 8, std::string("\xFE\xFF\x00\xFE\xFF\x00", 6))},
        {"huge.jxl", jxl_claiming_65535()},
        // pitm: version and flags, then an item that does not exist.
        {"no-primary.heic", patched("plain.heic", "pitm", 4, std::string("\x7F\x7F", 2))},
    };
    for (const auto& [name, bytes] : broken) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(bytes.empty());
        write_file(at(name), bytes);
        const auto growth = peak_growth_mib([&] {
            EXPECT_FALSE(preview_jpeg(at(name), 1));
            EXPECT_FALSE(thumbnail_jpeg(at(name), 240));
        });
        EXPECT_LT(growth.value_or(0), 64);
    }
}
