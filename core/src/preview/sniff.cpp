#include "sniff.hpp"

#include <algorithm>
#include <array>

namespace orv::preview {

namespace {

struct Signature {
    std::array<uint8_t, 8> bytes;
    size_t length;
    Format format;
};

constexpr std::array<Signature, 6> kSignatures = {{
    {{0xFF, 0xD8, 0xFF}, 3, Format::Jpeg},
    {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 8, Format::Png},
    {{'I', 'I', 42, 0}, 4, Format::Tiff},
    {{'M', 'M', 0, 42}, 4, Format::Tiff},
    {{'I', 'I', 43, 0}, 4, Format::Tiff},  // BigTIFF
    {{'M', 'M', 0, 43}, 4, Format::Tiff},
}};

}  // namespace

Format sniff(std::span<const uint8_t> bytes) {
    for (const Signature& s : kSignatures) {
        if (bytes.size() >= s.length && std::equal(s.bytes.begin(), s.bytes.begin() + s.length, bytes.begin())) {
            return s.format;
        }
    }
    return Format::Unknown;
}

}  // namespace orv::preview
