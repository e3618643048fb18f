#include "jxl_decode.hpp"

#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <algorithm>
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

std::optional<Picture> decode_jxl(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked) {
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
    // The 8-bit frame it writes, and libjxl's own working memory besides
    // (measured for 12 MP: 4 bytes a pixel lossy, 1 lossless; counted as 7).
    if (uint64_t{info->xsize} * info->ysize * 10 > budget.held_bytes) return std::nullopt;

    JxlResizableParallelRunnerSetThreads(runner.get(),
                                         JxlResizableParallelRunnerSuggestThreads(info->xsize, info->ysize));

    const Size whole{info->xsize, info->ysize};
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    ColourSource colour;
    Picture frame;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
            case JXL_DEC_COLOR_ENCODING: {
                size_t size = 0;
                if (JxlDecoderGetICCProfileSize(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                        JXL_DEC_SUCCESS &&
                    size > 0) {
                    colour.icc.resize(size);
                    if (JxlDecoderGetColorAsICCProfile(decoder.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                       colour.icc.data(), size) != JXL_DEC_SUCCESS) {
                        colour.icc.clear();
                    }
                }
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                size_t size = 0;
                frame = make_picture(whole);
                if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS ||
                    size != frame.byte_count() ||
                    JxlDecoderSetImageOutBuffer(decoder.get(), &format, frame.rgb.get(), size) != JXL_DEC_SUCCESS) {
                    return std::nullopt;
                }
                break;
            }
            case JXL_DEC_FULL_IMAGE: {
                // The first frame shown; an animation's others are not needed.
                if (!frame.rgb) return std::nullopt;
                const Size target = fit_size(whole, fit);
                Picture picture = target == whole ? std::move(frame) : resample(frame, target);
                to_srgb(picture, colour.empty() ? unmarked : colour);
                return picture;
            }
            default:
                // An error, a file cut short, or the end without a picture.
                return std::nullopt;
        }
    }
}

}  // namespace orv::preview
