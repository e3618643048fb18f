#include "rows.hpp"

#include <cstring>

namespace orv::preview {

bool RowTarget::begin(Size stored) {
    stored_ = stored;
    if (region_of_) {
        const Rect r = (*region_of_)(stored);
        if (!lies_inside(r, stored)) return false;
        first_row_ = r.y;
        end_row_ = r.y + r.height;
        left_ = r.x;
        width_ = r.width;
        out_ = make_picture({r.width, r.height});
    } else {
        const Size target = fit_size(stored, fit_);
        end_row_ = stored.height;
        width_ = stored.width;
        out_ = make_picture(target);
        resampler_.emplace(stored, target, out_.rgb.get(), 0, target.height);
    }
    next_row_ = first_row_;
    return true;
}

void RowTarget::push_row(const uint8_t* rgb) {
    if (next_row_ >= end_row_) return;
    if (resampler_) {
        resampler_->push_row(rgb);
    } else {
        const size_t row = size_t{width_} * 3;
        std::memcpy(out_.rgb.get() + (next_row_ - first_row_) * row, rgb, row);
    }
    ++next_row_;
}

}  // namespace orv::preview
