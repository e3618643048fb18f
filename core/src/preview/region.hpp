// Where a full-size region lies: the place wanted in the upright picture,
// kept inside it, and the rectangle of the stored picture it comes from.
#pragma once

#include <cstdint>
#include <functional>

#include "picture.hpp"

namespace orv::preview {

struct Rect {
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A region as the viewer asks for it: its centre as fractions (0 to 1) of
// the upright picture's sides, and its size in pixels.
struct Wanted {
    double centre_x = 0.5;
    double centre_y = 0.5;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The upright size of a stored picture: sides swapped for codes 5 to 8.
Size upright_size(Size stored, int64_t orientation);

// The wanted region in a picture of `upright` size: cut to the picture's
// sides where it is smaller, centred as wanted (half pixels rounded down)
// and moved inside where it would cross an edge.
Rect place(Size upright, const Wanted& wanted);

// The rectangle of the stored picture (of size `stored`) that
// orient(…, orientation) turns into `upright`, a rectangle of the upright
// picture. Codes other than 2 to 8 leave it as it is.
Rect stored_rect(Rect upright, Size stored, int64_t orientation);

// Whether `r` is a rectangle of at least one pixel inside a picture of `size`.
bool lies_inside(Rect r, Size size);

// The stored rectangle a decoder is to return, given the stored size once
// its header is read.
using RegionOf = std::function<Rect(Size)>;

// A rectangle at full size, and the size of the stored picture it is from.
struct RegionPicture {
    Size full;
    Picture picture;
};

// The pixels of `r`, which lies inside the picture.
Picture cut(const Picture& picture, Rect r);

}  // namespace orv::preview
