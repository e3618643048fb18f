#include "colour.hpp"

#include <lcms2_plugin.h>  // the matrix helpers; it includes lcms2.h

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

namespace orv::preview {

namespace {

struct CloseProfile {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, CloseProfile>;
struct DeleteTransform {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Transform = std::unique_ptr<void, DeleteTransform>;

void on_lcms_error(cmsContext, cmsUInt32Number, const char* text) { colour_note(text); }

// One context for the whole process, its errors going to the debug note
// rather than being lost or printed.
cmsContext context() {
    static const cmsContext c = [] {
        const cmsContext made = cmsCreateContext(nullptr, nullptr);
        cmsSetLogErrorHandlerTHR(made, on_lcms_error);
        return made;
    }();
    return c;
}

cmsHPROFILE srgb() {
    static const Profile p(cmsCreate_sRGBProfileTHR(context()));
    return p.get();
}

Profile profile_of(const Chromaticities& c) {
    const cmsCIExyY white{c.white_x, c.white_y, 1.0};
    const cmsCIExyYTRIPLE primaries{{c.red_x, c.red_y, 1.0}, {c.green_x, c.green_y, 1.0}, {c.blue_x, c.blue_y, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(context(), c.gamma);
    if (!curve) return nullptr;
    const std::array<cmsToneCurve*, 3> curves{curve, curve, curve};
    Profile made(cmsCreateRGBProfileTHR(context(), &white, &primaries, curves.data()));
    cmsFreeToneCurve(curve);
    return made;
}

// Adobe RGB (1998): its primaries and white, and a pure power curve of
// 563/256.
cmsHPROFILE adobe_rgb() {
    static const Profile p = profile_of({0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 563.0 / 256.0});
    return p.get();
}

// Whether an RGB profile is sRGB under another name: the same colorants
// (as adapted to D50) and the same curves, within what 8 bits can show.
// Most camera and web pictures that carry a profile carry this one, and
// they keep their pixels untouched.
bool same_as_srgb(cmsHPROFILE profile) {
    constexpr std::array<cmsTagSignature, 3> colorants = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                          cmsSigBlueColorantTag};
    constexpr std::array<cmsTagSignature, 3> curves = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    if (cmsIsCLUT(profile, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) return false;
    for (size_t i = 0; i < 3; ++i) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[i]));
        const auto* want = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb(), colorants[i]));
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curves[i]));
        const auto* want_curve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb(), curves[i]));
        if (!xyz || !want || !curve || !want_curve) return false;
        if (std::abs(xyz->X - want->X) > 0.002 || std::abs(xyz->Y - want->Y) > 0.002 ||
            std::abs(xyz->Z - want->Z) > 0.002) {
            return false;
        }
        for (int v = 0; v <= 32; ++v) {
            const float x = v / 32.0f;
            if (std::abs(cmsEvalToneCurveFloat(curve, x) - cmsEvalToneCurveFloat(want_curve, x)) > 0.5f / 255) {
                return false;
            }
        }
    }
    return true;
}

// The profile's perceptual intent when it has one of its own (a table);
// otherwise it is made of colorants and curves, which only know colorimetry,
// and black-point compensation keeps its black black in sRGB.
Transform to_srgb_transform(cmsHPROFILE from, cmsUInt32Number in_format, cmsUInt32Number out_format) {
    const bool perceptual = cmsIsCLUT(from, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
    return Transform(cmsCreateTransformTHR(context(), from, in_format, srgb(), out_format,
                                           perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
                                           perceptual ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION));
}

// Profiles made of three colorants and three curves (Adobe RGB, ProPhoto,
// Display P3 and nearly every other RGB profile) go to sRGB as a lookup
// per channel, one 3 x 3 matrix and a lookup back: what lcms computes for
// them, a few times faster than its general path. Colorants are adapted to
// D50 in both profiles, so the relative colorimetric transform is exactly
// the product of the two matrices; a curve that starts at 0 keeps black
// black, so black-point compensation changes nothing.
class MatrixShaper {
public:
    static std::optional<MatrixShaper> of(cmsHPROFILE from) {
        if (!cmsIsMatrixShaper(from) || cmsIsCLUT(from, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) return std::nullopt;
        constexpr std::array<cmsTagSignature, 3> colorants = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                              cmsSigBlueColorantTag};
        constexpr std::array<cmsTagSignature, 3> curves = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
        cmsMAT3 src, dst;
        MatrixShaper m;
        for (int c = 0; c < 3; ++c) {
            const auto* a = static_cast<const cmsCIEXYZ*>(cmsReadTag(from, colorants[c]));
            const auto* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb(), colorants[c]));
            const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(from, curves[c]));
            if (!a || !b || !curve || std::abs(cmsEvalToneCurveFloat(curve, 0.0f)) > 1e-4f) return std::nullopt;
            src.v[0].n[c] = a->X, src.v[1].n[c] = a->Y, src.v[2].n[c] = a->Z;
            dst.v[0].n[c] = b->X, dst.v[1].n[c] = b->Y, dst.v[2].n[c] = b->Z;
            // Kept within 0..1 and finite, so that the per-pixel step can
            // never index outside the encoding table.
            for (int v = 0; v < 256; ++v) {
                const float linear = cmsEvalToneCurveFloat(curve, v / 255.0f);
                if (!std::isfinite(linear)) return std::nullopt;
                m.linear_[c][v] = std::clamp(linear, 0.0f, 1.0f);
            }
        }
        cmsMAT3 to_srgb;
        if (!_cmsMAT3inverse(&dst, &to_srgb)) return std::nullopt;
        cmsMAT3 product;
        _cmsMAT3per(&product, &to_srgb, &src);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) m.matrix_[r][c] = static_cast<float>(product.v[r].n[c]);
        }
        return m;
    }

    // Every pixel of the picture; on a large picture, two halves at once:
    // the conversion then costs about half as long on the core the decode
    // left idle.
    void apply(Picture& picture) const {
        uint8_t* p = picture.rgb.get();
        const size_t count = size_t{picture.size.width} * picture.size.height;
        constexpr size_t kSplitFrom = size_t{1} << 20;
        if (count < kSplitFrom) return apply(p, count);
        const size_t half = count / 2;
        std::optional<std::thread> other;
        try {
            other.emplace([this, p, half] { apply(p, half); });
        } catch (const std::system_error&) {
            apply(p, half);  // no thread to be had: all of it here
        }
        apply(p + half * 3, count - half);
        if (other) other->join();
    }

private:
    // Fine enough that the sRGB curve's steep start loses nothing at 8 bits.
    static constexpr size_t kSteps = 16384;
    using Encoding = std::array<uint8_t, kSteps>;

    // Linear light (0 to 1, in kSteps steps) to sRGB's 8-bit values: the
    // same for every picture, so made once. Each of the 255 steps between
    // two codes is found by sRGB's decoding formula (IEC 61966-2-1), then the
    // table filled between them: every entry is the encoding rounded to the
    // nearest code, without evaluating the curve 16,384 times.
    static const Encoding& srgb_encoding() {
        static const Encoding table = [] {
            const auto decode = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            Encoding made{};
            size_t i = 0;
            for (int code = 0; code < 255; ++code) {
                const double rise = decode((code + 0.5) / 255.0) * (kSteps - 1);
                for (; i < kSteps && static_cast<double>(i) < rise; ++i) made[i] = static_cast<uint8_t>(code);
            }
            for (; i < kSteps; ++i) made[i] = 255;
            return made;
        }();
        return table;
    }

    // Three lanes of a four-lane vector, one per output channel, so that a
    // pixel is three multiply-adds and one clamp without a branch.
    using Lanes = float __attribute__((vector_size(16)));
    using IntLanes = int32_t __attribute__((vector_size(16)));

    void apply(uint8_t* p, size_t count) const {
        const Encoding& encode = srgb_encoding();
        constexpr float kTop = kSteps - 1;
        // Each input channel's column of the matrix, scaled to the encoding
        // table's steps.
        Lanes column[3];
        for (int c = 0; c < 3; ++c) column[c] = Lanes{matrix_[0][c], matrix_[1][c], matrix_[2][c], 0} * kTop;
        const Lanes zero = {0, 0, 0, 0}, top = {kTop, kTop, kTop, kTop};
        for (size_t i = 0; i < count; ++i, p += 3) {
            Lanes v = column[0] * linear_[0][p[0]] + column[1] * linear_[1][p[1]] + column[2] * linear_[2][p[2]];
            v = v < zero ? zero : v;
            v = v > top ? top : v;
            const IntLanes step = __builtin_convertvector(v + 0.5f, IntLanes);
            p[0] = encode[step[0]];
            p[1] = encode[step[1]];
            p[2] = encode[step[2]];
        }
    }

    std::array<std::array<float, 256>, 3> linear_{};
    std::array<std::array<float, 3>, 3> matrix_{};
};

Profile open_profile(std::span<const uint8_t> icc) {
    return Profile(cmsOpenProfileFromMemTHR(context(), icc.data(), static_cast<cmsUInt32Number>(icc.size())));
}

}  // namespace

void colour_note(const char* what) {
    static const bool debug = [] {
        const char* v = std::getenv("ORVQL_DEBUG");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    if (debug) std::fprintf(stderr, "orvql colour: %s\n", what);
}

std::vector<uint8_t> profile_from_chromaticities(const Chromaticities& c) {
    const Profile p = profile_of(c);
    cmsUInt32Number length = 0;
    if (!p || !cmsSaveProfileToMem(p.get(), nullptr, &length) || length == 0) return {};
    std::vector<uint8_t> icc(length);
    if (!cmsSaveProfileToMem(p.get(), icc.data(), &length)) return {};
    return icc;
}

void to_srgb(Picture& picture, const ColourSource& source) {
    if (source.empty() || picture.byte_count() == 0) return;
    Profile own;
    cmsHPROFILE from = adobe_rgb();
    if (!source.icc.empty()) {
        own = open_profile(source.icc);
        from = own.get();
        if (!from) return colour_note("an unreadable ICC profile; pixels kept as they are");
        if (cmsGetColorSpace(from) != cmsSigRgbData) return colour_note("an ICC profile not for RGB; pixels kept");
        if (same_as_srgb(from)) return;
    }
    if (!from) return;
    if (const auto fast = MatrixShaper::of(from)) return fast->apply(picture);
    const Transform t = to_srgb_transform(from, TYPE_RGB_8, TYPE_RGB_8);
    if (!t) return colour_note("no transform from this ICC profile to sRGB; pixels kept");
    // Row by row keeps each call's count within lcms's 32 bits.
    for (uint32_t y = 0; y < picture.size.height; ++y) {
        uint8_t* row = picture.rgb.get() + size_t{y} * picture.size.width * 3;
        cmsDoTransform(t.get(), row, row, picture.size.width);
    }
}

void cmyk_to_srgb(uint8_t* p, size_t count, bool inverted, std::span<const uint8_t> icc) {
    if (!icc.empty()) {
        const Profile own = open_profile(icc);
        if (own && cmsGetColorSpace(own.get()) == cmsSigCmykData) {
            const Transform t = to_srgb_transform(own.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_RGB_8);
            if (t) {
                // In blocks through a spare buffer: each block's output
                // (three bytes a pixel) lands where its input (four) began.
                constexpr size_t kBlock = 4096;
                std::array<uint8_t, kBlock * 3> rgb;
                for (size_t at = 0; at < count; at += kBlock) {
                    const size_t n = std::min(kBlock, count - at);
                    cmsDoTransform(t.get(), p + at * 4, rgb.data(), static_cast<cmsUInt32Number>(n));
                    std::memcpy(p + at * 3, rgb.data(), n * 3);
                }
                return;
            }
        }
        colour_note("a CMYK picture's ICC profile cannot be used; converted by the plain formula");
    }
    uint8_t* out = p;
    for (size_t i = 0; i < count; ++i, p += 4, out += 3) {
        const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (inverted) {
            out[0] = static_cast<uint8_t>((c * k + 127) / 255);
            out[1] = static_cast<uint8_t>((m * k + 127) / 255);
            out[2] = static_cast<uint8_t>((y * k + 127) / 255);
        } else {
            out[0] = static_cast<uint8_t>(((255 - c) * (255 - k) + 127) / 255);
            out[1] = static_cast<uint8_t>(((255 - m) * (255 - k) + 127) / 255);
            out[2] = static_cast<uint8_t>(((255 - y) * (255 - k) + 127) / 255);
        }
    }
}

}  // namespace orv::preview
