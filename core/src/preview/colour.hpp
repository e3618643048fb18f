// Colours as the camera recorded them: a decoded picture whose pixels are in
// another colour space is turned into sRGB, the space every untagged JPEG
// the pipeline returns is read in. A decoder calls to_srgb on its fitted
// picture with whatever it found in the file; a picture with nothing to go
// by is left alone, and so is one whose profile cannot be used (the picture
// is best-effort, so that is never an error; ORVQL_DEBUG=1 notes it on
// stderr).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "picture.hpp"

namespace orv::preview {

// Where a picture's colours come from. The first that is present wins: the
// picture's own ICC profile, then the mark for Adobe RGB (1998) that a
// camera writes instead of one (EXIF ColorSpace "Uncalibrated" with
// InteropIndex "R03"); with neither the pixels are sRGB already.
struct ColourSource {
    std::vector<uint8_t> icc;
    bool adobe_rgb = false;

    bool empty() const { return icc.empty() && !adobe_rgb; }
};

// Converts the picture's 8-bit RGB pixels into sRGB in place, with the
// profile's perceptual intent when it has one and relative colorimetric
// with black-point compensation otherwise. Nothing is built or changed for
// an empty source or one that names sRGB itself.
void to_srgb(Picture& picture, const ColourSource& source);

// CMYK as JPEGs store it, four bytes a pixel, into sRGB three bytes a pixel
// in place: through the picture's own CMYK profile when it has a usable
// one, else by the plain formula (each channel the product of its ink and
// black complements). `inverted`: 255 means no ink, as Adobe applications
// store it (their APP14 segment says so).
void cmyk_to_srgb(uint8_t* pixels, size_t count, bool inverted, std::span<const uint8_t> icc);

// A profile made of a white point, three primaries (CIE xy) and one power
// curve of exponent `gamma`, as some pictures describe their space instead
// of embedding one; empty when these do not make a profile.
struct Chromaticities {
    double white_x, white_y, red_x, red_y, green_x, green_y, blue_x, blue_y, gamma;
};
std::vector<uint8_t> profile_from_chromaticities(const Chromaticities& c);

// A note for whoever debugs colour handling: on stderr when ORVQL_DEBUG is
// set, nowhere otherwise.
void colour_note(const char* what);

}  // namespace orv::preview
