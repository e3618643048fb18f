// Arbitrary bytes through the half of the picture pipeline that reads
// untrusted data: sniffing, the JPEG, PNG, TIFF, HEIF, WebP and JPEG XL
// decoders, the resampler, then turning and encoding whatever decoded.
#include <cstddef>
#include <cstdint>
#include <span>

#include "preview/decode.hpp"
#include "preview/jpeg_encode.hpp"
#include "preview/orient.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv::preview;
    // A small bound keeps runs fast; the fit, the DCT scale choice and the
    // resampler still see every kind of ratio. The orientation varies too.
    const uint32_t bound = 48 + static_cast<uint32_t>(size % 97);
    // The container's own turn is read apart from the decode (by the box
    // walk for HEIF, the header for JPEG XL); only an EXIF value may come.
    if (const auto turn = own_turn(Source(std::span(data, size))); turn && (*turn < 1 || *turn > 8)) {
        __builtin_trap();
    }
    auto picture = decode_fitted(std::span(data, size), bound);
    if (!picture) return 0;
    const Size fitted = picture->size;
    if (fitted.width > bound || fitted.height > bound || (fitted.width != bound && fitted.height != bound)) {
        __builtin_trap();  // the fit rule was broken
    }
    if (!encode_jpeg(orient(std::move(*picture), static_cast<int64_t>(size % 10)))) __builtin_trap();
    return 0;
}
