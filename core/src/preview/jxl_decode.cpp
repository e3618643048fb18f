#include "jxl_decode.hpp"

#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "colour.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

struct JxlFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
using Decoder = std::unique_ptr<JxlDecoder, JxlFree>;

struct RunnerFree {
    void operator()(void* r) const { JxlResizableParallelRunnerDestroy(r); }
};

constexpr uint64_t kLeadBytes = 64 * 1024;

// A decoder given `bytes`, reporting `events`, leaving the picture as
// stored: turned by libjxl the frame would be copied in floats at full
// size (four times the memory), where the pipeline turns the fitted
// picture instead. The input is never marked
// complete: a file cut short then ends in a request for more input rather
// than in an error libjxl reports on stderr, and either gives no picture.
Decoder start(std::span<const uint8_t> bytes, int events) {
    Decoder decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS) {
        return nullptr;
    }
    return decoder;
}

std::optional<JxlBasicInfo> basic_info(JxlDecoder* decoder) {
    if (JxlDecoderProcessInput(decoder) != JXL_DEC_BASIC_INFO) return std::nullopt;
    JxlBasicInfo info;
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS) return std::nullopt;
    return info;
}

}  // namespace

int64_t jxl_orientation(const Source& source) {
    // The header is at the start of the codestream, which in the box
    // container may follow metadata: the lead first, the whole file only
    // when that is not enough.
    std::vector<uint8_t> lead(static_cast<size_t>(std::min<uint64_t>(source.size(), kLeadBytes)));
    lead.resize(source.read(0, lead.data(), lead.size()));
    const auto info_of = [](std::span<const uint8_t> bytes) -> std::optional<JxlBasicInfo> {
        const Decoder decoder = start(bytes, JXL_DEC_BASIC_INFO);
        return decoder ? basic_info(decoder.get()) : std::nullopt;
    };
    auto info = info_of(lead);
    if (!info && lead.size() < source.size()) {
        std::vector<uint8_t> holder;
        info = info_of(source.whole(holder));
    }
    return info ? static_cast<int64_t>(info->orientation) : 1;
}

namespace {

// The first frame shown (an animation's others are not needed): whole, or
// only the rectangle `region_of` gives, with the colour it is in.
struct Frame {
    Size full;
    Picture picture;
    ColourSource colour;
};

// Keeps the part of each run of decoded pixels that lies in the rectangle.
// libjxl calls it from its worker threads, each time for other pixels.
struct Keeper {
    Rect r;
    Picture out;
};

void keep(void* opaque, size_t x, size_t y, size_t count, const void* pixels) {
    auto* keeper = static_cast<Keeper*>(opaque);
    const Rect& r = keeper->r;
    if (y < r.y || y >= size_t{r.y} + r.height) return;
    const size_t begin = std::max<size_t>(x, r.x), end = std::min<size_t>(x + count, size_t{r.x} + r.width);
    if (begin >= end) return;
    std::memcpy(keeper->out.rgb.get() + ((y - r.y) * r.width + (begin - r.x)) * 3,
                static_cast<const uint8_t*>(pixels) + (begin - x) * 3, (end - begin) * 3);
}

std::optional<Frame> decode_frame(const Source& source, const Budget& budget, const RegionOf* region_of) {
    // The decoder takes the whole file in memory, which counts as held.
    if (source.size() > budget.held_bytes) return std::nullopt;
    std::vector<uint8_t> holder;
    const std::span<const uint8_t> bytes = source.whole(holder);
    const Decoder decoder = start(bytes, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    // The runner is set before the first call, its thread count once the
    // size is known.
    const std::unique_ptr<void, RunnerFree> runner(JxlResizableParallelRunnerCreate(nullptr));
    if (!decoder || !runner ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlResizableParallelRunner, runner.get()) != JXL_DEC_SUCCESS) {
        return std::nullopt;
    }
    const auto info = basic_info(decoder.get());
    if (!info || !within_pixel_limit(info->xsize, info->ysize)) return std::nullopt;
    // The 8-bit frame it writes, unless only a region is kept, and libjxl's
    // own working memory besides (measured for 12 MP: 4 bytes a pixel
    // lossy, 1 lossless; counted as 7).
    const uint64_t bytes_per_pixel = region_of ? 7 : 10;
    if (uint64_t{info->xsize} * info->ysize * bytes_per_pixel > budget.held_bytes) return std::nullopt;

    JxlResizableParallelRunnerSetThreads(runner.get(),
                                         JxlResizableParallelRunnerSuggestThreads(info->xsize, info->ysize));

    Frame frame;
    frame.full = {info->xsize, info->ysize};
    Keeper keeper;
    if (region_of) {
        keeper.r = (*region_of)(frame.full);
        if (!lies_inside(keeper.r, frame.full)) return std::nullopt;
    }
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
            case JXL_DEC_COLOR_ENCODING: {
                size_t size = 0;
                auto& icc = frame.colour.icc;
                if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                        JXL_DEC_SUCCESS &&
                    size > 0) {
                    icc.resize(size);
                    if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                       icc.data(), size) != JXL_DEC_SUCCESS) {
                        icc.clear();
                    }
                }
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                if (region_of) {
                    keeper.out = make_picture({keeper.r.width, keeper.r.height});
                    if (JxlDecoderSetImageOutCallback(decoder.get(), &format, keep, &keeper) != JXL_DEC_SUCCESS) {
                        return std::nullopt;
                    }
                    break;
                }
                size_t size = 0;
                frame.picture = make_picture(frame.full);
                if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS ||
                    size != frame.picture.byte_count() ||
                    JxlDecoderSetImageOutBuffer(decoder.get(), &format, frame.picture.rgb.get(), size) !=
                        JXL_DEC_SUCCESS) {
                    return std::nullopt;
                }
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                if (region_of) frame.picture = std::move(keeper.out);
                if (!frame.picture.rgb) return std::nullopt;
                return frame;
            default:
                // An error, a file cut short, or the end without a picture.
                return std::nullopt;
        }
    }
}

}  // namespace

std::optional<Picture> decode_jxl(const Source& source, Fit fit, const Budget& budget, const ColourSource& unmarked) {
    auto frame = decode_frame(source, budget, nullptr);
    if (!frame) return std::nullopt;
    const Size target = fit_size(frame->full, fit);
    Picture picture = target == frame->full ? std::move(frame->picture) : resample(frame->picture, target);
    to_srgb(picture, frame->colour.empty() ? unmarked : frame->colour);
    return picture;
}

std::optional<RegionPicture> decode_jxl_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                               const ColourSource& unmarked) {
    auto frame = decode_frame(source, budget, &region_of);
    if (!frame) return std::nullopt;
    to_srgb(frame->picture, frame->colour.empty() ? unmarked : frame->colour);
    return RegionPicture{frame->full, std::move(frame->picture)};
}

}  // namespace orv::preview
