// What a decoder that reads a picture row by row makes of the rows: the
// picture fitted (through the resampler), or one rectangle of it at full
// size. Either way the decoder reads only the rows asked for, in order, and
// may stop once done().
#pragma once

#include <cstdint>
#include <optional>

#include "picture.hpp"
#include "region.hpp"
#include "resample.hpp"

namespace orv::preview {

class RowTarget {
public:
    static RowTarget fitted(Fit fit) { return RowTarget(fit, nullptr); }
    // `region_of` gives the stored rectangle wanted once the stored size is
    // known; it must lie inside.
    static RowTarget region(const RegionOf& region_of) { return RowTarget(Fit{0}, &region_of); }

    // Once the stored size is known: sets up the output. False for a
    // rectangle that does not lie inside the picture.
    bool begin(Size stored);

    // The stored rows wanted, [first_row, end_row), and of each the columns
    // [left, left + width): the whole row for a fitted picture.
    uint32_t first_row() const { return first_row_; }
    uint32_t end_row() const { return end_row_; }
    uint32_t left() const { return left_; }
    uint32_t width() const { return width_; }

    // The next row, from first_row() on: width() RGB pixels, the first of
    // them stored column left(). Rows past end_row() are ignored.
    void push_row(const uint8_t* rgb);
    bool done() const { return next_row_ == end_row_; }

    Size stored() const { return stored_; }
    // The output, once done().
    Picture take() { return std::move(out_); }

private:
    RowTarget(Fit fit, const RegionOf* region_of) : fit_(fit), region_of_(region_of) {}

    Fit fit_;
    const RegionOf* region_of_;
    Size stored_;
    uint32_t first_row_ = 0, end_row_ = 0, left_ = 0, width_ = 0, next_row_ = 0;
    Picture out_;
    std::optional<BoxResampler> resampler_;
};

}  // namespace orv::preview
