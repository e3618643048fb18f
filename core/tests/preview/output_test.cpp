// What the pipeline hands out: a plain baseline JPEG with standard tables
// and nothing in it that could turn the picture again.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "fixtures.hpp"
#include "orv_ql.h"

using namespace orv;
using namespace orv::test;

namespace {

struct Segment {
    uint8_t marker;
    std::string body;
};

std::vector<Segment> segments_before_scan(const std::string& jpeg) {
    std::vector<Segment> out;
    for (size_t pos = 2; pos + 4 <= jpeg.size() && uint8_t(jpeg[pos]) == 0xFF;) {
        const uint8_t marker = uint8_t(jpeg[pos + 1]);
        const size_t length = size_t(uint8_t(jpeg[pos + 2])) << 8 | uint8_t(jpeg[pos + 3]);
        out.push_back({marker, jpeg.substr(pos + 4, length - 2)});
        if (marker == 0xDA) break;
        pos += 2 + length;
    }
    return out;
}

// The example tables of the JPEG standard (Annex K), in row order.
constexpr std::array<int, 64> kLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24, 40,  57,
    69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
constexpr std::array<int, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A table as a DQT segment stores it: zigzag order, scaled for quality 75
// (to half), rounded, kept within 1..255.
std::string dqt_at_quality_75(int id, const std::array<int, 64>& table) {
    std::string out(1, char(id));
    for (int i : kZigzag) out += char(std::clamp((table[size_t(i)] * 50 + 50) / 100, 1, 255));
    return out;
}

}  // namespace

TEST(Output, BaselineFullResolutionJfifWithStandardTablesAndNoMetadata) {
    TempDir tmp;
    write_file(tmp / "in.png", make_png(quadrants({300, 200})));
    size_t length = 0;
    uint8_t* bytes = orv_ql_preview((tmp / "in.png").c_str(), 6, &length);
    ASSERT_NE(bytes, nullptr);
    const std::string jpeg(reinterpret_cast<char*>(bytes), length);
    orv_ql_free_bytes(bytes, length);
    ASSERT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");  // the length is exact

    std::string tables, huffman;
    std::vector<uint8_t> markers;
    for (const Segment& s : segments_before_scan(jpeg)) {
        markers.push_back(s.marker);
        if (s.marker == 0xDB) tables += s.body;
        if (s.marker == 0xC4) huffman += s.body;
        if (s.marker == 0xE0) {
            // JFIF, any version, density in pixels of aspect 1:1 (units 0, 1 x 1).
            EXPECT_EQ(s.body.substr(0, 5), std::string("JFIF\0", 5));
            EXPECT_EQ(s.body.substr(7, 5), std::string("\x00\x00\x01\x00\x01", 5));
        }
        if (s.marker == 0xC0) {
            EXPECT_EQ(s.body, std::string("\x08\x07\x08\x04\xB0\x03\x01\x11\x00\x02\x11\x01\x03\x11\x01", 15));
        }
    }
    EXPECT_EQ(markers.front(), 0xE0);
    EXPECT_EQ(markers.back(), 0xDA);
    EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xC0), 1);  // SOF0 and no other frame type
    for (uint8_t m : markers) EXPECT_TRUE(m == 0xE0 || m == 0xDB || m == 0xC0 || m == 0xC4 || m == 0xDA) << int(m);
    EXPECT_EQ(tables, dqt_at_quality_75(0, kLuminance) + dqt_at_quality_75(1, kChrominance));
    // The standard Huffman tables, told by their code counts per length.
    const std::vector<std::string> counts = {
        std::string("\x00\x00\x01\x05\x01\x01\x01\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00", 17),
        std::string("\x10\x00\x02\x01\x03\x03\x02\x04\x03\x05\x05\x04\x04\x00\x00\x01\x7d", 17),
        std::string("\x01\x00\x03\x01\x01\x01\x01\x01\x01\x01\x01\x01\x00\x00\x00\x00\x00", 17),
        std::string("\x11\x00\x02\x01\x02\x04\x04\x03\x04\x07\x05\x04\x04\x00\x01\x02\x77", 17)};
    for (const auto& c : counts) EXPECT_NE(huffman.find(c), std::string::npos) << int(c[0]);
    EXPECT_EQ(huffman.size(), 4 * 17 + 12 + 162 + 12 + 162);
    const auto p = decode_jpeg(jpeg);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->size, (Size{1200, 1800}));
}
