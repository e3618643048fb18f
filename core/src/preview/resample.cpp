#include "resample.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace orv::preview {

namespace {

// Rows are summed in integers: a source row's share of a target row is a
// weight out of kUnit, and the shares of one target row add up to exactly
// kUnit. 255 * kUnit fits comfortably in 32 bits, kUnit in 16.
constexpr int32_t kUnit = 1 << 14;

// Source pixel i spans [i*t, (i+1)*t) and target pixel y spans [y*s, (y+1)*s)
// (s, t: source and target length), so both cover the same s*t units and no
// rounding creeps into the spans. The share of target pixel y between its
// start and `offset` units into it:
int32_t share(uint64_t offset, uint64_t s) {
    return static_cast<int32_t>((offset * kUnit + s / 2) / s);
}

// acc += row * weight, in blocks of fixed length so that the compiler turns
// the inner loop into vector code.
void accumulate(int32_t* __restrict acc, const uint8_t* __restrict row, size_t n, int16_t weight) {
    constexpr size_t kBlock = 32;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (size_t k = 0; k < kBlock; ++k) acc[i + k] += int32_t{int16_t{row[i + k]}} * weight;
    }
    for (; i < n; ++i) acc[i] += int32_t{row[i]} * weight;
}

void to_float(float* __restrict out, const int32_t* __restrict in, size_t n) {
    constexpr size_t kBlock = 32;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (size_t k = 0; k < kBlock; ++k) out[i + k] = static_cast<float>(in[i + k]);
    }
    for (; i < n; ++i) out[i] = static_cast<float>(in[i]);
}

// Three channels and one spare lane: a pixel's channels are handled in one
// vector operation (the compilers' generic vector extension, no intrinsics).
using Lanes = float __attribute__((vector_size(16)));
using IntLanes = int32_t __attribute__((vector_size(16)));

Lanes load_pixel(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

BoxResampler::BoxResampler(Size source, Size target, uint8_t* out, uint32_t rows_begin, uint32_t rows_end)
    : source_(source),
      target_(target),
      out_(out),
      rows_begin_(rows_begin),
      rows_end_(rows_end),
      first_source_row_(static_cast<uint32_t>(uint64_t{rows_begin} * source.height / target.height)),
      end_source_row_(static_cast<uint32_t>((uint64_t{rows_end} * source.height + target.height - 1) / target.height)),
      rows_in_(first_source_row_),
      identity_(source == target) {
    if (identity_) return;
    const uint64_t s = source.width, t = target.width;
    // Columns count by the share of the target pixel they cover; the
    // accumulated rows carry a factor kUnit that is divided out here.
    const double unit = double(s) * kUnit;
    inner_weight_ = static_cast<float>(double(t) / unit);
    spans_.resize(t);
    for (uint64_t x = 0; x < t; ++x) {
        const uint64_t lo = x * s, hi = lo + s;
        Span& span = spans_[x];
        span.first = static_cast<uint32_t>(lo / t);
        span.last = static_cast<uint32_t>((hi - 1) / t);
        if (span.first == span.last) {
            span.first_weight = 1.0f / kUnit;  // one source column covers it all
            continue;
        }
        span.first_weight = static_cast<float>(double((uint64_t{span.first} + 1) * t - lo) / unit);
        span.last_weight = static_cast<float>(double(hi - uint64_t{span.last} * t) / unit);
    }
    acc_.assign(size_t{source.width} * 3, 0);
    row_.assign(acc_.size() + 1, 0.0f);
}

void BoxResampler::push_row(const uint8_t* rgb) {
    if (rows_in_ >= end_source_row_) return;
    if (identity_) {
        std::memcpy(out_ + size_t{rows_in_} * source_.width * 3, rgb, size_t{source_.width} * 3);
        ++rows_in_;
        return;
    }
    const uint64_t s = source_.height, t = target_.height;
    const uint64_t a = uint64_t{rows_in_} * t, b = a + t;  // this source row
    for (uint64_t y = std::max<uint64_t>(a / s, rows_begin_); y < rows_end_ && y * s < b; ++y) {
        const uint64_t start = y * s, end = start + s;  // target row y
        const int32_t weight = share(std::min(b, end) - start, s) - share(std::max(a, start) - start, s);
        if (weight > 0) accumulate(acc_.data(), rgb, acc_.size(), static_cast<int16_t>(weight));
        if (end <= b) {
            emit_row(static_cast<uint32_t>(y));
            std::fill(acc_.begin(), acc_.end(), 0);
        }
    }
    ++rows_in_;
}

void BoxResampler::emit_row(uint32_t y) {
    float* row = row_.data();
    to_float(row, acc_.data(), acc_.size());

    uint8_t* out = out_ + size_t{y} * target_.width * 3;
    for (const Span& span : spans_) {
        Lanes inner = {0, 0, 0, 0};
        for (uint32_t x = span.first + 1; x < span.last; ++x) inner += load_pixel(row + size_t{x} * 3);
        const Lanes sum = load_pixel(row + size_t{span.first} * 3) * span.first_weight + inner * inner_weight_ +
                          load_pixel(row + size_t{span.last} * 3) * span.last_weight;
        // The weights add up to one, so the sum stays within 0..255 up to
        // float rounding, which the clamp absorbs.
        const IntLanes q = __builtin_convertvector(sum + 0.5f, IntLanes);
        out[0] = static_cast<uint8_t>(std::clamp(q[0], 0, 255));
        out[1] = static_cast<uint8_t>(std::clamp(q[1], 0, 255));
        out[2] = static_cast<uint8_t>(std::clamp(q[2], 0, 255));
        out += 3;
    }
}

Picture resample(const Picture& source, Size target) {
    Picture out = make_picture(target);
    const auto run = [&](uint32_t rows_begin, uint32_t rows_end) {
        BoxResampler r(source.size, target, out.rgb.get(), rows_begin, rows_end);
        const size_t stride = size_t{source.size.width} * 3;
        for (uint32_t y = r.first_source_row(); y < r.end_source_row(); ++y) r.push_row(source.rgb.get() + y * stride);
    };
    // A second thread pays off once the halves take milliseconds each.
    const bool split = target.height >= 64 && uint64_t{source.size.width} * source.size.height >= (uint64_t{1} << 20) &&
                       std::thread::hardware_concurrency() > 1;
    const uint32_t middle = split ? target.height / 2 : target.height;
    bool helper_failed = false;
    std::jthread helper;  // joined however this scope is left
    if (split) {
        try {
            helper = std::jthread([&] {
                try {
                    run(middle, target.height);
                } catch (const std::bad_alloc&) {
                    helper_failed = true;
                }
            });
        } catch (const std::system_error&) {
            run(middle, target.height);  // no thread to be had: do it here
        }
    }
    run(0, middle);
    if (helper.joinable()) helper.join();
    if (helper_failed) throw std::bad_alloc();
    return out;
}

}  // namespace orv::preview
