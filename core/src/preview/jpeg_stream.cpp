#include "jpeg_stream.hpp"

#include <algorithm>
#include <cstring>

namespace orv::preview {

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kTem = 0x01;

bool is_restart(uint8_t m) { return m >= 0xD0 && m <= 0xD7; }

// SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
bool is_frame(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }
bool is_progressive_frame(uint8_t m) { return m == 0xC2 || m == 0xC6 || m == 0xCA || m == 0xCE; }

uint32_t be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

struct Frame {
    Size size;
    uint32_t components = 0;
    bool progressive = false;
    uint64_t coefficient_bytes = 0;
};

std::optional<Frame> parse_frame(uint8_t marker, const uint8_t* p, size_t n) {
    if (n < 6) return std::nullopt;
    Frame f;
    f.size = {be16(p + 3), be16(p + 1)};
    f.components = p[5];
    f.progressive = is_progressive_frame(marker);
    if (f.components == 0 || n < 6 + 3 * size_t{f.components}) return std::nullopt;
    uint32_t h_max = 1, v_max = 1;
    for (uint32_t i = 0; i < f.components; ++i) {
        const uint8_t hv = p[6 + 3 * i + 1];
        if ((hv >> 4) == 0 || (hv & 15) == 0) return std::nullopt;
        h_max = std::max<uint32_t>(h_max, hv >> 4);
        v_max = std::max<uint32_t>(v_max, hv & 15);
    }
    // Each component's 8x8 blocks, padded to whole sampling units, at 128
    // bytes a block: what a whole-image coefficient buffer takes.
    for (uint32_t i = 0; i < f.components; ++i) {
        const uint8_t hv = p[6 + 3 * i + 1];
        const uint64_t h = hv >> 4, v = hv & 15;
        const uint64_t wb = (uint64_t{f.size.width} * h + 8 * h_max - 1) / (8 * h_max);
        const uint64_t hb = (uint64_t{f.size.height} * v + 8 * v_max - 1) / (8 * v_max);
        f.coefficient_bytes += (wb + h - 1) / h * h * ((hb + v - 1) / v * v) * 128;
    }
    return f;
}

}  // namespace

std::optional<JpegStream> scan_jpeg_stream(std::span<const uint8_t> bytes) {
    const uint8_t* data = bytes.data();
    const size_t n = bytes.size();
    if (n < 4 || data[0] != 0xFF || data[1] != kSoi) return std::nullopt;
    std::optional<Frame> frame;
    bool whole_image = false;
    bool scanned = false;
    size_t pos = 2;
    for (;;) {
        // Next marker: skip stray bytes, then fill bytes; FF 00 is no marker.
        while (pos < n && data[pos] != 0xFF) ++pos;
        while (pos < n && data[pos] == 0xFF) ++pos;
        if (pos >= n) return std::nullopt;
        const uint8_t marker = data[pos++];
        if (marker == 0 || marker == kTem || is_restart(marker)) continue;
        if (marker == kSoi) return std::nullopt;
        if (marker == kEoi) {
            if (!frame || !scanned) return std::nullopt;
            return JpegStream{frame->size, whole_image ? frame->coefficient_bytes : 0};
        }
        if (n - pos < 2) return std::nullopt;
        const size_t length = be16(data + pos);
        if (length < 2 || length > n - pos) return std::nullopt;
        const uint8_t* payload = data + pos + 2;
        const size_t payload_length = length - 2;
        pos += length;

        if (is_frame(marker) && !frame) {
            frame = parse_frame(marker, payload, payload_length);
            if (!frame) return std::nullopt;
            whole_image = frame->progressive;
        } else if (marker == kSos) {
            if (!frame || payload_length < 1) return std::nullopt;
            if (!scanned && payload[0] < frame->components) whole_image = true;
            scanned = true;
            // Entropy-coded data runs to the first marker that is neither a
            // stuffed FF 00 nor a restart marker.
            for (;;) {
                const void* ff = std::memchr(data + pos, 0xFF, n - pos);
                if (!ff) return std::nullopt;
                size_t next = static_cast<const uint8_t*>(ff) - data + 1;
                while (next < n && data[next] == 0xFF) ++next;
                if (next >= n) return std::nullopt;
                if (data[next] != 0 && !is_restart(data[next])) {
                    pos = next - 1;
                    break;
                }
                pos = next + 1;
            }
        }
    }
}

}  // namespace orv::preview
