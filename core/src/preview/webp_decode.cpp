#include "webp_decode.hpp"

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>
#include <vector>

#include "colour.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

struct DemuxFree {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

struct FrameFree {
    void operator()(WebPIterator* i) const { WebPDemuxReleaseIterator(i); }
};

// Decodes `frame` into `out` at out.size (the decoder scales when that is
// not the frame's own size).
bool decode_into(const WebPData& frame, Picture& out, Size stored) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    if (out.size != stored) {
        config.options.use_scaling = 1;
        config.options.scaled_width = static_cast<int>(out.size.width);
        config.options.scaled_height = static_cast<int>(out.size.height);
    }
    config.options.use_threads = 1;
    config.output.colorspace = MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out.rgb.get();
    config.output.u.RGBA.stride = static_cast<int>(out.size.width * 3);
    config.output.u.RGBA.size = out.byte_count();
    const VP8StatusCode status = WebPDecode(frame.bytes, frame.size, &config);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK;
}

}  // namespace

std::optional<Picture> decode_webp(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked) {
    // The decoder takes the whole file in memory, which counts as held.
    if (source.size() > budget.held_bytes) return std::nullopt;
    std::vector<uint8_t> holder;
    const std::span<const uint8_t> bytes = source.whole(holder);
    // The demuxer only accepts a complete file, and gives the first frame
    // of an animation as well as a still picture's.
    const WebPData data{bytes.data(), bytes.size()};
    const std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&data));
    if (!demux) return std::nullopt;
    WebPIterator iterator;
    if (!WebPDemuxGetFrame(demux.get(), 1, &iterator)) return std::nullopt;
    const std::unique_ptr<WebPIterator, FrameFree> frame(&iterator);

    const Size stored{static_cast<uint32_t>(std::max(iterator.width, 0)),
                      static_cast<uint32_t>(std::max(iterator.height, 0))};
    if (!within_pixel_limit(stored.width, stored.height)) return std::nullopt;
    // A lossless picture is decoded whole as ARGB before it is scaled.
    if (uint64_t{stored.width} * stored.height * 4 > budget.held_bytes) return std::nullopt;

    const Size target = fit_size(stored, fit);
    // Larger pictures are scaled by the decoder; a smaller one is decoded
    // as stored and enlarged here, as every other picture is.
    const bool shrink = target.width <= stored.width && target.height <= stored.height;
    Picture picture = make_picture(shrink ? target : stored);
    if (!decode_into(iterator.fragment, picture, stored)) return std::nullopt;
    if (!shrink) picture = resample(picture, target);

    ColourSource colour;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
        colour.icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    to_srgb(picture, colour.empty() ? unmarked : colour);
    return picture;
}

}  // namespace orv::preview
