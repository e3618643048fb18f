#include "jpeg_encode.hpp"

#include <turbojpeg.h>

#include <memory>

namespace orv::preview {

namespace {
constexpr int kQuality = 75;

struct TjDestroy {
    void operator()(void* h) const { tjDestroy(h); }
};
struct TjFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};
}  // namespace

std::optional<std::vector<uint8_t>> encode_jpeg(const Picture& picture) {
    if (picture.size.width == 0 || picture.size.height == 0) return std::nullopt;
    const std::unique_ptr<void, TjDestroy> tj(tjInitCompress());
    if (!tj) return std::nullopt;
    unsigned char* raw = nullptr;
    unsigned long length = 0;
    // Flags 0: no progressive or arithmetic coding, so the result is
    // baseline with the standard Huffman tables.
    const int rc = tjCompress2(tj.get(), picture.rgb.get(), static_cast<int>(picture.size.width), 0,
                               static_cast<int>(picture.size.height), TJPF_RGB, &raw, &length, TJSAMP_444,
                               kQuality, 0);
    const std::unique_ptr<unsigned char, TjFree> owned(raw);
    if (rc != 0 || !raw || length == 0) return std::nullopt;
    return std::vector<uint8_t>(raw, raw + length);
}

}  // namespace orv::preview
