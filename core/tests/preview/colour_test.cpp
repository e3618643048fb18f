// Colours turned into sRGB: a chart of flat sRGB patches, turned into other
// colour spaces by ImageMagick with Debian's profiles (and a Display P3 one
// made here) and marked the ways editors and cameras mark them, must come
// back as the chart, in the preview and in the thumbnail alike.
#include <gtest/gtest.h>
#include <lcms2.h>

#include "fixtures.hpp"
#include "preview/colour.hpp"
#include "preview/preview.hpp"

using namespace orv;
using namespace orv::test;

namespace {

// Within every gamut used here, the press's CMYK included.
constexpr Rgb kPatches[] = {{180, 80, 70}, {80, 150, 90}, {70, 90, 170}, {220, 190, 90}, {128, 128, 128}, {150, 110, 160}};
constexpr uint32_t kSide = 96, kColumns = 3;
const std::string kColord = "/usr/share/color/icc/colord/", kGhostscript = "/usr/share/color/icc/ghostscript/";

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

}  // namespace

TEST(Colour, PicturesInOtherSpacesComeBackAsTheSrgbChart) {
    TempDir tmp;
    const auto at = [&tmp](const std::string& name) { return (tmp / name).string(); };
    write_file(tmp / "chart.png", make_png(grid({kSide * kColumns, kSide * 2}, kColumns, kPatches)));
    const auto into = [&](const std::string& profile, const std::string& out) {
        run_ok("convert",
               {at("chart.png"), "-profile", kColord + "sRGB.icc", "-profile", profile, "-quality", "95", at(out)});
    };
    // Display P3, as phones write it: its own primaries on sRGB's curve.
    const cmsCIExyY d65{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const double srgb_curve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb_curve);
    cmsToneCurve* curves[] = {curve, curve, curve};
    cmsHPROFILE p3_profile = cmsCreateRGBProfile(&d65, &p3, curves);
    ASSERT_TRUE(cmsSaveProfileToFile(p3_profile, at("p3.icc").c_str()));
    cmsCloseProfile(p3_profile);
    cmsFreeToneCurve(curve);
    into(at("p3.icc"), "p3.jpg");
    into(kColord + "AdobeRGB1998.icc", "adobe.jpg");
    into(kColord + "ProPhotoRGB.icc", "prophoto.png");
    into(kColord + "WideGamutRGB.icc", "wide.tif");
    into(kGhostscript + "default_cmyk.icc", "cmyk.jpg");
    run_ok("convert", {at("chart.png"), "-colorspace", "CMYK", at("cmyk-plain.jpg")});
    // The same coded pixels as adobe.jpg: without a profile, with a cut one,
    // with a grey one, marked as a camera marks Adobe RGB, and as a RAW
    // file's preview with the mark in the RAW file's EXIF.
    run_ok("exiftool", {"-q", "-ICC_Profile=", "-o", at("bare.jpg"), at("adobe.jpg")});
    write_file(tmp / "cut.icc", read_file(kColord + "AdobeRGB1998.icc").substr(0, 200));
    run_ok("exiftool", {"-q", "-ICC_Profile<=" + at("cut.icc"), "-o", at("broken.jpg"), at("bare.jpg")});
    run_ok("exiftool", {"-q", "-ICC_Profile<=" + kGhostscript + "sgray.icc", "-o", at("grey.jpg"), at("bare.jpg")});
    const std::vector<std::string> mark = {"-ColorSpace=Uncalibrated", "-InteropIndex=R03"};
    run_ok("exiftool", {"-q", mark[0], mark[1], "-o", at("camera.jpg"), at("bare.jpg")});
    fs::copy_file(corpus("exiftool-t/CanonRaw.cr2"), tmp / "raw.cr2");
    fs::permissions(tmp / "raw.cr2", fs::perms::owner_write, fs::perm_options::add);
    run_ok("exiftool",
           {"-q", "-overwrite_original", "-PreviewImage<=" + at("bare.jpg"), mark[0], mark[1], at("raw.cr2")});

    const auto bare = preview_jpeg(at("bare.jpg"), 1);
    ASSERT_TRUE(bare);
    const auto bare_picture = decode_jpeg(*bare);
    ASSERT_TRUE(bare_picture);
    EXPECT_GT(worst_delta_e(*bare_picture), 3) << "Adobe RGB values read as sRGB must fail the check";

    for (const std::string name : {"adobe.jpg", "p3.jpg", "prophoto.png", "wide.tif", "cmyk.jpg", "cmyk-plain.jpg",
                                   "camera.jpg", "raw.cr2", "broken.jpg", "grey.jpg"}) {
        const auto preview = preview_jpeg(at(name), 1);
        const auto thumbnail = thumbnail_jpeg(at(name), 256);
        ASSERT_TRUE(preview && thumbnail) << name;
        if (name == "broken.jpg" || name == "grey.jpg") {
            // A profile that cannot be used: the picture as decoded.
            EXPECT_EQ(*preview, *bare) << name;
            continue;
        }
        for (const auto* jpeg : {&*preview, &*thumbnail}) {
            const auto p = decode_jpeg(*jpeg);
            ASSERT_TRUE(p) << name;
            EXPECT_LE(worst_delta_e(*p), 3) << name << (jpeg == &*preview ? " preview" : " thumbnail");
        }
    }
}

// Profiles made of colorants and curves take a quicker way than lcms's own
// transform; it must give what lcms gives, channel by channel, over a spread
// of the whole cube, in a picture large enough to be converted in two halves.
// The Adobe RGB mark must convert as the published Adobe RGB profile does.
// White and black stay exactly white and black.
TEST(Colour, MatrixProfilesConvertAsLittleCmsDoes) {
    const Size size{1024, 1024};
    Picture cube = preview::make_picture(size);
    for (uint32_t i = 0; i < size.width * size.height; ++i) {
        cube.rgb[i * 3] = uint8_t(i), cube.rgb[i * 3 + 1] = uint8_t(i >> 8);
        cube.rgb[i * 3 + 2] = uint8_t((i * 2654435761u) >> 24);
    }
    const size_t last = cube.byte_count() - 3;
    std::fill_n(cube.rgb.get(), 3, 0);
    std::fill_n(cube.rgb.get() + last, 3, 255);
    const auto converted = [&](const preview::ColourSource& source) {
        Picture got = preview::make_picture(size);
        std::copy_n(cube.rgb.get(), cube.byte_count(), got.rgb.get());
        preview::to_srgb(got, source);
        return got;
    };
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const auto check = [&](const std::string& profile, const preview::ColourSource& source) {
        const std::string icc = read_file(kColord + profile);
        cmsHPROFILE from = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
        ASSERT_TRUE(from) << profile;
        cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                             cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
        ASSERT_TRUE(t) << profile;
        Picture want = preview::make_picture(size);
        cmsDoTransform(t, cube.rgb.get(), want.rgb.get(), size.width * size.height);
        const Picture got = converted(source);
        // Off by a level at most, and that rarely: rounding, not a bias.
        int worst = 0;
        size_t off = 0;
        for (size_t i = 0; i < cube.byte_count(); ++i) {
            worst = std::max(worst, std::abs(got.rgb[i] - want.rgb[i]));
            off += got.rgb[i] != want.rgb[i];
        }
        EXPECT_LE(worst, 1) << profile << (source.adobe_rgb ? " as the mark" : "");
        EXPECT_LT(off, cube.byte_count() / 30) << profile << (source.adobe_rgb ? " as the mark" : "");
        EXPECT_EQ(pixel_at(got, 0, 0), (Rgb{0, 0, 0})) << profile;
        EXPECT_EQ(pixel_at(got, size.width - 1, size.height - 1), (Rgb{255, 255, 255})) << profile;
        cmsDeleteTransform(t);
        cmsCloseProfile(from);
    };
    for (const std::string profile :
         {"AdobeRGB1998.icc", "ProPhotoRGB.icc", "ECI-RGBv2.icc", "SwappedRedAndGreen.icc"}) {
        const std::string icc = read_file(kColord + profile);
        check(profile, {{icc.begin(), icc.end()}, false});
    }
    check("AdobeRGB1998.icc", {{}, true});
    cmsCloseProfile(srgb);

    // sRGB under the names editors give it changes nothing, not by a level.
    for (const std::string& profile :
         {kColord + "sRGB.icc", kGhostscript + "srgb.icc", kGhostscript + "default_rgb.icc"}) {
        const std::string icc = read_file(profile);
        const Picture got = converted({{icc.begin(), icc.end()}, false});
        EXPECT_TRUE(std::equal(got.rgb.get(), got.rgb.get() + got.byte_count(), cube.rgb.get())) << profile;
    }
}
