#include "sniff.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace orv::preview {

namespace {

struct Signature {
    std::array<uint8_t, 8> bytes;
    size_t length;
    Format format;
};

constexpr std::array<Signature, 8> kSignatures = {{
    {{0xFF, 0xD8, 0xFF}, 3, Format::Jpeg},
    {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 8, Format::Png},
    {{'I', 'I', 42, 0}, 4, Format::Tiff},
    {{'M', 'M', 0, 42}, 4, Format::Tiff},
    {{'I', 'I', 43, 0}, 4, Format::Tiff},  // BigTIFF
    {{'M', 'M', 0, 43}, 4, Format::Tiff},
    {{0xFF, 0x0A}, 2, Format::Jxl},  // a bare JPEG XL codestream
    {{0, 0, 0, 0x0C, 'J', 'X', 'L', ' '}, 8, Format::Jxl},  // its box container
}};

// HEIF brands of still pictures and sequences (HEVC, AV1 and the generic
// ones), in an ftyp box's major or compatible brands. Camera RAW files in
// the same container carry brands of their own and stay unknown.
constexpr std::array<std::string_view, 12> kHeifBrands = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                                          "hevm", "hevs", "mif1", "msf1", "avif", "avis"};

bool is_heif(std::span<const uint8_t> bytes) {
    if (bytes.size() < 12 || std::string_view(reinterpret_cast<const char*>(&bytes[4]), 4) != "ftyp") return false;
    const size_t box = size_t{bytes[0]} << 24 | size_t{bytes[1]} << 16 | size_t{bytes[2]} << 8 | bytes[3];
    const size_t end = std::min(bytes.size(), box);
    for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {  // the minor version is not a brand
        const std::string_view brand(reinterpret_cast<const char*>(&bytes[at]), 4);
        if (std::find(kHeifBrands.begin(), kHeifBrands.end(), brand) != kHeifBrands.end()) return true;
    }
    return false;
}

bool is_webp(std::span<const uint8_t> bytes) {
    return bytes.size() >= 12 && std::string_view(reinterpret_cast<const char*>(bytes.data()), 4) == "RIFF" &&
           std::string_view(reinterpret_cast<const char*>(&bytes[8]), 4) == "WEBP";
}

}  // namespace

Format sniff(std::span<const uint8_t> bytes) {
    for (const Signature& s : kSignatures) {
        if (bytes.size() >= s.length && std::equal(s.bytes.begin(), s.bytes.begin() + s.length, bytes.begin())) {
            return s.format;
        }
    }
    if (is_heif(bytes)) return Format::Heif;
    if (is_webp(bytes)) return Format::Webp;
    return Format::Unknown;
}

}  // namespace orv::preview
