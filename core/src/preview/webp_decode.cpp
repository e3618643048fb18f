#include "webp_decode.hpp"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "colour.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

struct DemuxFree {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

// The first frame of a WebP file held in memory, and its ICC profile.
class FirstFrame {
public:
    // The demuxer only accepts a complete file, and gives the first frame
    // of an animation as well as a still picture's.
    explicit FirstFrame(std::span<const uint8_t> bytes) {
        const WebPData data{bytes.data(), bytes.size()};
        demux_.reset(WebPDemux(&data));
        if (!demux_ || !WebPDemuxGetFrame(demux_.get(), 1, &iterator_)) return;
        open_ = true;
        stored_ = {static_cast<uint32_t>(std::max(iterator_.width, 0)),
                   static_cast<uint32_t>(std::max(iterator_.height, 0))};
    }
    ~FirstFrame() {
        if (open_) WebPDemuxReleaseIterator(&iterator_);
    }
    FirstFrame(const FirstFrame&) = delete;
    FirstFrame& operator=(const FirstFrame&) = delete;

    // Whether it opened, is within the size limits and decodes within the
    // budget: a lossless picture is decoded whole as ARGB.
    bool usable(const Budget& budget) const {
        return open_ && within_pixel_limit(stored_.width, stored_.height) &&
               uint64_t{stored_.width} * stored_.height * 4 <= budget.held_bytes;
    }
    Size stored() const { return stored_; }
    const WebPData& data() const { return iterator_.fragment; }

    ColourSource colour() const {
        ColourSource colour;
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux_.get(), "ICCP", 1, &chunk)) {
            colour.icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        return colour;
    }

private:
    std::unique_ptr<WebPDemuxer, DemuxFree> demux_;
    WebPIterator iterator_{};
    bool open_ = false;
    Size stored_;
};

// Decodes `frame` into `out`: the rectangle `crop` of it when given, else
// the whole frame at out.size (the decoder scales when that is not the
// frame's own size).
bool decode_into(const FirstFrame& frame, Picture& out, const Rect* crop) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    if (crop) {
        config.options.use_cropping = 1;
        config.options.crop_left = static_cast<int>(crop->x);
        config.options.crop_top = static_cast<int>(crop->y);
        config.options.crop_width = static_cast<int>(crop->width);
        config.options.crop_height = static_cast<int>(crop->height);
    } else if (out.size != frame.stored()) {
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
    const VP8StatusCode status = WebPDecode(frame.data().bytes, frame.data().size, &config);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK;
}

}  // namespace

std::optional<Picture> decode_webp(const Source& source, Fit fit, const Budget& budget, const ColourSource& unmarked) {
    // The decoder takes the whole file in memory, which counts as held.
    if (source.size() > budget.held_bytes) return std::nullopt;
    std::vector<uint8_t> holder;
    const FirstFrame frame(source.whole(holder));
    if (!frame.usable(budget)) return std::nullopt;

    const Size stored = frame.stored(), target = fit_size(stored, fit);
    // Larger pictures are scaled by the decoder; a smaller one is decoded
    // as stored and enlarged here, as every other picture is.
    const bool shrink = target.width <= stored.width && target.height <= stored.height;
    Picture picture = make_picture(shrink ? target : stored);
    if (!decode_into(frame, picture, nullptr)) return std::nullopt;
    if (!shrink) picture = resample(picture, target);
    const ColourSource colour = frame.colour();
    to_srgb(picture, colour.empty() ? unmarked : colour);
    return picture;
}

std::optional<RegionPicture> decode_webp_region(const Source& source, const RegionOf& region_of, const Budget& budget,
                                                const ColourSource& unmarked) {
    if (source.size() > budget.held_bytes) return std::nullopt;
    std::vector<uint8_t> holder;
    const FirstFrame frame(source.whole(holder));
    if (!frame.usable(budget)) return std::nullopt;
    const Rect r = region_of(frame.stored());
    if (!lies_inside(r, frame.stored())) return std::nullopt;
    // libwebp moves a crop's corner to even coordinates (where chroma
    // samples start), and its upsampling lacks the chroma beyond a crop's
    // edges: asked for from two pixels around, the rectangle is cut after.
    const auto around = [](uint32_t start, uint32_t length, uint32_t side) {
        const uint32_t from = (start - std::min(start, 2U)) & ~1U;
        return std::pair{from, std::min(side, start + length + 2) - from};
    };
    const auto [x, width] = around(r.x, r.width, frame.stored().width);
    const auto [y, height] = around(r.y, r.height, frame.stored().height);
    const Rect even{x, y, width, height};
    Picture decoded = make_picture({even.width, even.height});
    if (!decode_into(frame, decoded, &even)) return std::nullopt;
    Picture picture = cut(decoded, {r.x - even.x, r.y - even.y, r.width, r.height});
    const ColourSource colour = frame.colour();
    to_srgb(picture, colour.empty() ? unmarked : colour);
    return RegionPicture{frame.stored(), std::move(picture)};
}

}  // namespace orv::preview
