// Colours turned into sRGB: a chart of flat sRGB patches, turned into other
// colour spaces by ImageMagick with Debian's profiles and marked the ways
// editors and cameras mark them, must come back as the chart, in the
// preview and in the thumbnail alike.
#include <gtest/gtest.h>
#include <lcms2.h>

#include "exiftool/child.hpp"
#include "fixtures.hpp"
#include "preview/preview.hpp"

using namespace orv;
using namespace orv::test;

namespace {

// Within every gamut used here, the press's CMYK included.
constexpr Rgb kPatches[] = {{180, 80, 70}, {80, 150, 90}, {70, 90, 170}, {220, 190, 90}, {128, 128, 128}, {150, 110, 160}};
constexpr uint32_t kSide = 96, kColumns = 3;
const std::string kColord = "/usr/share/color/icc/colord/", kGhostscript = "/usr/share/color/icc/ghostscript/";

Picture chart() {
    Picture p = preview::make_picture({kSide * kColumns, kSide * 2});
    for (uint32_t y = 0; y < p.size.height; ++y) {
        for (uint32_t x = 0; x < p.size.width; ++x) {
            const Rgb c = kPatches[y / kSide * kColumns + x / kSide];
            uint8_t* px = p.rgb.get() + (size_t{y} * p.size.width + x) * 3;
            px[0] = uint8_t(c.r), px[1] = uint8_t(c.g), px[2] = uint8_t(c.b);
        }
    }
    return p;
}

// The largest CIEDE2000 difference between the chart's patches and those
// of `p` (any size), each read at its centre.
double worst_delta_e(const Picture& p) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    double worst = 0;
    for (size_t i = 0; i < std::size(kPatches); ++i) {
        const double scale = double(p.size.width) / (kSide * kColumns);
        const Rgb got = pixel_at(p, uint32_t((i % kColumns + 0.5) * kSide * scale), uint32_t((i / kColumns + 0.5) * kSide * scale));
        const uint8_t both[6] = {uint8_t(got.r), uint8_t(got.g), uint8_t(got.b),
                                 uint8_t(kPatches[i].r), uint8_t(kPatches[i].g), uint8_t(kPatches[i].b)};
        cmsCIELab l[2];
        cmsDoTransform(t, both, l, 2);
        worst = std::max(worst, cmsCIE2000DeltaE(&l[0], &l[1], 1, 1, 1));
    }
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return worst;
}

void run(const std::string& program, const std::vector<std::string>& args) {
    const auto r = run_child(program, args);
    ASSERT_TRUE(r && r->success()) << program << " " << args.back() << ": " << (r ? r->err : "did not run");
}

}  // namespace

TEST(Colour, PicturesInOtherSpacesComeBackAsTheSrgbChart) {
    TempDir tmp;
    const auto at = [&tmp](const std::string& name) { return (tmp / name).string(); };
    write_file(tmp / "chart.png", make_png(chart()));
    // Display P3: its primaries, D65 and the sRGB curve.
    {
        const double params[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
        cmsToneCurve* curves[3] = {curve, curve, curve};
        const cmsCIExyY d65{0.3127, 0.3290, 1};
        const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
        cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &p3, curves);
        ASSERT_TRUE(cmsSaveProfileToFile(profile, at("p3.icc").c_str()));
        cmsCloseProfile(profile);
        cmsFreeToneCurve(curve);
    }
    const auto into = [&](const std::string& profile, const std::string& out) {
        run("convert", {at("chart.png"), "-profile", kColord + "sRGB.icc", "-profile", profile, "-quality", "95", at(out)});
    };
    into(kColord + "AdobeRGB1998.icc", "adobe.jpg");
    into(kColord + "ProPhotoRGB.icc", "prophoto.png");
    into(at("p3.icc"), "p3.tif");
    into(kGhostscript + "default_cmyk.icc", "cmyk.jpg");
    run("convert", {at("chart.png"), "-colorspace", "CMYK", at("cmyk-plain.jpg")});
    // The same coded pixels as adobe.jpg: without a profile, with a cut one,
    // with a grey one, marked as a camera marks Adobe RGB, and as a RAW
    // file's preview with the mark in the RAW file's EXIF.
    run("exiftool", {"-q", "-ICC_Profile=", "-o", at("bare.jpg"), at("adobe.jpg")});
    write_file(tmp / "cut.icc", read_file(kColord + "AdobeRGB1998.icc").substr(0, 200));
    run("exiftool", {"-q", "-ICC_Profile<=" + at("cut.icc"), "-o", at("broken.jpg"), at("bare.jpg")});
    run("exiftool", {"-q", "-ICC_Profile<=" + kGhostscript + "sgray.icc", "-o", at("grey.jpg"), at("bare.jpg")});
    const std::vector<std::string> mark = {"-ColorSpace=Uncalibrated", "-InteropIndex=R03"};
    run("exiftool", {"-q", mark[0], mark[1], "-o", at("camera.jpg"), at("bare.jpg")});
    fs::copy_file(corpus("exiftool-t/CanonRaw.cr2"), tmp / "raw.cr2");
    fs::permissions(tmp / "raw.cr2", fs::perms::owner_write, fs::perm_options::add);
    run("exiftool", {"-q", "-overwrite_original", "-PreviewImage<=" + at("bare.jpg"), mark[0], mark[1], at("raw.cr2")});

    const auto bare = preview_jpeg(at("bare.jpg"), 1);
    ASSERT_TRUE(bare);
    const auto bare_picture = decode_jpeg(std::string(bare->begin(), bare->end()));
    ASSERT_TRUE(bare_picture);
    EXPECT_GT(worst_delta_e(*bare_picture), 3) << "Adobe RGB values read as sRGB must fail the check";

    for (const std::string name : {"adobe.jpg", "prophoto.png", "p3.tif", "cmyk.jpg", "cmyk-plain.jpg", "camera.jpg",
                                   "raw.cr2", "broken.jpg", "grey.jpg"}) {
        const auto preview = preview_jpeg(at(name), 1);
        const auto thumbnail = thumbnail_jpeg(at(name), 256);
        ASSERT_TRUE(preview && thumbnail) << name;
        if (name == "broken.jpg" || name == "grey.jpg") {
            // A profile that cannot be used: the picture as decoded.
            EXPECT_EQ(*preview, *bare) << name;
            continue;
        }
        for (const auto* jpeg : {&*preview, &*thumbnail}) {
            const auto p = decode_jpeg(std::string(jpeg->begin(), jpeg->end()));
            ASSERT_TRUE(p) << name;
            EXPECT_LE(worst_delta_e(*p), 3) << name << (jpeg == &*preview ? " preview" : " thumbnail");
        }
    }
}
