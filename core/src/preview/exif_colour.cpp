#include "exif_colour.hpp"

#include <cstring>
#include <optional>

namespace orv::preview {

namespace {

constexpr uint16_t kExifIfd = 0x8769, kColorSpace = 0xA001, kInteropIfd = 0xA005, kInteropIndex = 0x0001;
constexpr uint16_t kUncalibrated = 0xFFFF;

class TiffBlock {
public:
    explicit TiffBlock(std::span<const uint8_t> bytes) : b_(bytes) {}
    bool header() {
        if (b_.size() < 8) return false;
        if (b_[0] == 'I' && b_[1] == 'I') little_ = true;
        else if (b_[0] != 'M' || b_[1] != 'M') return false;
        return u16(2) == 42;
    }
    std::optional<uint32_t> u16(size_t at) const {
        if (at > b_.size() || b_.size() - at < 2) return std::nullopt;
        return little_ ? b_[at] | b_[at + 1] << 8 : b_[at] << 8 | b_[at + 1];
    }
    std::optional<uint32_t> u32(size_t at) const {
        const auto lo = u16(at + (little_ ? 0 : 2)), hi = u16(at + (little_ ? 2 : 0));
        if (!lo || !hi) return std::nullopt;
        return *hi << 16 | *lo;
    }
    // The value field (offset 8 of the 12-byte entry) of `tag` in the IFD at
    // `ifd`.
    std::optional<size_t> entry(std::optional<uint32_t> ifd, uint16_t tag) const {
        if (!ifd) return std::nullopt;
        const auto count = u16(*ifd);
        for (uint32_t i = 0; count && i < *count; ++i) {
            const size_t at = *ifd + 2 + 12 * size_t{i};
            const auto t = u16(at);
            if (!t) return std::nullopt;
            if (*t == tag) return at + 8;
        }
        return std::nullopt;
    }
    std::optional<uint32_t> pointer(std::optional<size_t> value) const { return value ? u32(*value) : std::nullopt; }
    std::span<const uint8_t> bytes() const { return b_; }

private:
    std::span<const uint8_t> b_;
    bool little_ = false;
};

}  // namespace

bool exif_marks_adobe_rgb(std::span<const uint8_t> app1) {
    if (app1.size() < 6 || std::memcmp(app1.data(), "Exif\0\0", 6) != 0) return false;
    TiffBlock tiff(app1.subspan(6));
    if (!tiff.header()) return false;
    const auto exif = tiff.pointer(tiff.entry(tiff.pointer(4), kExifIfd));
    const auto space = tiff.entry(exif, kColorSpace);
    if (!space || tiff.u16(*space) != kUncalibrated) return false;
    // Four ASCII bytes fit in the entry itself.
    const auto index = tiff.entry(tiff.pointer(tiff.entry(exif, kInteropIfd)), kInteropIndex);
    return index && *index + 3 <= tiff.bytes().size() && std::memcmp(tiff.bytes().data() + *index, "R03", 3) == 0;
}

}  // namespace orv::preview
