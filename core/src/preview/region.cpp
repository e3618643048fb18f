#include "region.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace orv::preview {

namespace {

// How orient moves stored pixel (x, y), code by code: with `swap` to row
// x, column y; each mirror counts its stored axis from the far end.
struct Turn {
    bool swap, mirror_x, mirror_y;
};
constexpr std::array<Turn, 9> kTurns = {{
    {false, false, false},  // (unused)
    {false, false, false},  // 1
    {false, true, false},   // 2
    {false, true, true},    // 3
    {false, false, true},   // 4
    {true, false, false},   // 5
    {true, false, true},    // 6
    {true, true, true},     // 7
    {true, true, false},    // 8
}};

Turn turn_of(int64_t orientation) {
    return orientation >= 1 && orientation <= 8 ? kTurns[static_cast<size_t>(orientation)] : kTurns[1];
}

// The start of a span of `length` along a side of `side` pixels, around
// `centre` (a fraction of the side), moved inside.
uint32_t span_start(double centre, uint32_t length, uint32_t side) {
    const double start = std::floor(centre * side - length / 2.0);
    return static_cast<uint32_t>(std::clamp(start, 0.0, double(side - length)));
}

}  // namespace

Size upright_size(Size stored, int64_t orientation) {
    return turn_of(orientation).swap ? Size{stored.height, stored.width} : stored;
}

Rect place(Size upright, const Wanted& wanted) {
    Rect r;
    r.width = std::min(wanted.width, upright.width);
    r.height = std::min(wanted.height, upright.height);
    r.x = span_start(wanted.centre_x, r.width, upright.width);
    r.y = span_start(wanted.centre_y, r.height, upright.height);
    return r;
}

Rect stored_rect(Rect upright, Size stored, int64_t orientation) {
    const Turn t = turn_of(orientation);
    // Along the stored x axis lie the upright columns, or with `swap` its rows.
    const uint32_t along_x = t.swap ? upright.y : upright.x, across_x = t.swap ? upright.height : upright.width;
    const uint32_t along_y = t.swap ? upright.x : upright.y, across_y = t.swap ? upright.width : upright.height;
    return {
        t.mirror_x ? stored.width - (along_x + across_x) : along_x,
        t.mirror_y ? stored.height - (along_y + across_y) : along_y,
        across_x,
        across_y,
    };
}

bool lies_inside(Rect r, Size size) {
    return r.width > 0 && r.height > 0 && r.x + uint64_t{r.width} <= size.width &&
           r.y + uint64_t{r.height} <= size.height;
}

Picture cut(const Picture& picture, Rect r) {
    Picture out = make_picture({r.width, r.height});
    const size_t row = size_t{r.width} * 3;
    for (uint32_t y = 0; y < r.height; ++y) {
        std::memcpy(&out.rgb[y * row], &picture.rgb[((size_t{r.y} + y) * picture.size.width + r.x) * 3], row);
    }
    return out;
}

}  // namespace orv::preview
