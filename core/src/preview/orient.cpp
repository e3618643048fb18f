#include "orient.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace orv::preview {

namespace {

// Where source pixel (x, y) lands: with `swap` it goes to row x, column y
// (a quarter turn or a transposition), and each mirror counts its axis
// from the far end. The axes named here are the source's.
struct Transform {
    bool swap;
    bool mirror_x;
    bool mirror_y;
};

constexpr std::array<Transform, 9> kTransforms = {{
    {false, false, false},  // (unused)
    {false, false, false},  // 1: as stored
    {false, true, false},   // 2: mirror left-right
    {false, true, true},    // 3: turn 180
    {false, false, true},   // 4: mirror top-bottom
    {true, false, false},   // 5: mirror left-right, then turn 90 counter-clockwise
    {true, false, true},    // 6: turn 90 clockwise
    {true, true, true},     // 7: mirror left-right, then turn 90 clockwise
    {true, true, false},    // 8: turn 90 counter-clockwise
}};

// Pixels are copied in square tiles so that the strided writes of a quarter
// turn stay within the cache.
constexpr uint32_t kTile = 64;

}  // namespace

Picture orient(Picture picture, int64_t orientation) {
    if (orientation < 2 || orientation > 8) return picture;
    const Transform t = kTransforms[static_cast<size_t>(orientation)];
    const uint32_t w = picture.size.width, h = picture.size.height;
    Picture out = make_picture(t.swap ? Size{h, w} : Size{w, h});
    const ptrdiff_t out_w = out.size.width;

    // Destination offset (in pixels) of source (x, y) = origin + x*step_x + y*step_y.
    ptrdiff_t step_x, step_y, origin;
    if (t.swap) {
        step_x = t.mirror_x ? -out_w : out_w;
        step_y = t.mirror_y ? -1 : 1;
        origin = (t.mirror_x ? ptrdiff_t{w} - 1 : 0) * out_w + (t.mirror_y ? ptrdiff_t{h} - 1 : 0);
    } else {
        step_x = t.mirror_x ? -1 : 1;
        step_y = t.mirror_y ? -out_w : out_w;
        origin = (t.mirror_y ? ptrdiff_t{h} - 1 : 0) * out_w + (t.mirror_x ? ptrdiff_t{w} - 1 : 0);
    }

    const uint8_t* src = picture.rgb.get();
    uint8_t* dst = out.rgb.get();
    for (uint32_t ty = 0; ty < h; ty += kTile) {
        for (uint32_t tx = 0; tx < w; tx += kTile) {
            const uint32_t y_end = std::min(h, ty + kTile), x_end = std::min(w, tx + kTile);
            for (uint32_t y = ty; y < y_end; ++y) {
                const uint8_t* s = src + (size_t{y} * w + tx) * 3;
                ptrdiff_t d = origin + ptrdiff_t{tx} * step_x + ptrdiff_t{y} * step_y;
                for (uint32_t x = tx; x < x_end; ++x, s += 3, d += step_x) {
                    uint8_t* p = dst + d * 3;
                    p[0] = s[0], p[1] = s[1], p[2] = s[2];
                }
            }
        }
    }
    return out;
}

}  // namespace orv::preview
