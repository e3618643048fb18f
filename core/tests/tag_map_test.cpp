#include <gtest/gtest.h>

#include "metadata/brand.hpp"
#include "metadata/tag_map.hpp"

using namespace orv;

namespace {
TagMap tags(const char* text) {
    TagMap m;
    const json doc = json::parse(text);
    for (const auto& [k, v] : doc.items()) m.emplace(k, v);
    return m;
}
}  // namespace

TEST(FlattenGroups, LaterGroupsWinInTheFixedOrder) {
    const auto doc = json::parse(R"({
        "SourceFile": "a.jpg",
        "Composite": {"Make": "B"},
        "EXIF": {"Make": "A", "Rating": 1},
        "XMP": {"Rating": 3},
        "MakerNotes": {"Rating": 2, "Only": "mn"},
        "IPTC": {"Rating": 4},
        "File": {"Rating": 9, "FileType": "JPEG"},
        "APP14": {"X": 1},
        "Zzz": {"X": 2},
        "Broken": 5
    })");
    const auto m = flatten_groups(doc);
    EXPECT_EQ(m.at("Make"), "B");
    EXPECT_EQ(m.at("Rating"), 1);           // EXIF over XMP over IPTC over MakerNotes over File
    EXPECT_EQ(m.at("Only"), "mn");
    EXPECT_EQ(m.at("X"), 2);                // alphabetically later ordinary group
    EXPECT_EQ(m.count("SourceFile"), 0u);
    EXPECT_TRUE(flatten_groups(json::array()).empty());
}

TEST(Readers, FirstPresentKeyDecidesEvenWhenItIsNotText) {
    const auto m = tags(R"({"Title": 5, "ObjectName": "name", "Caption-Abstract": "cap"})");
    EXPECT_FALSE(get_str(m, {"Title", "ObjectName"}));
    EXPECT_EQ(get_str(m, {"Description", "Caption-Abstract"}), "cap");
    EXPECT_FALSE(get_str(m, {"Missing"}));
}

TEST(Readers, NumbersKeepTheirKinds) {
    const auto m = tags(R"({"I": 100, "F": 100.0, "N": -3, "Big": 18446744073709551615, "S": "7"})");
    EXPECT_EQ(as_int(find_tag(m, "I")), 100);
    EXPECT_FALSE(as_int(find_tag(m, "F")));
    EXPECT_EQ(as_int(find_tag(m, "N")), -3);
    EXPECT_FALSE(as_int(find_tag(m, "Big")));
    EXPECT_FALSE(as_int(find_tag(m, "S")));
    EXPECT_EQ(as_float(find_tag(m, "I")), 100.0);
    EXPECT_FALSE(as_float(find_tag(m, "S")));
}

TEST(Readers, PairNeedsTwoPositiveIntegers) {
    const auto m = tags(R"({"W": 6000, "H": 4000, "Z": 0, "F": 10.0})");
    EXPECT_EQ(pair(m, "W", "H"), (std::pair<int64_t, int64_t>{6000, 4000}));
    EXPECT_FALSE(pair(m, "W", "Z"));
    EXPECT_FALSE(pair(m, "W", "F"));
    EXPECT_FALSE(pair(m, "W", "Missing"));
}

TEST(Readers, LastTwoRoundsHalvesAwayFromZero) {
    const auto m = tags(R"({"A": "1234.5 999.5", "B": "0 480", "C": "x 10 abc 6016  4016 ", "D": "42", "E": 7,
                           "F": "2.5 -3"})");
    EXPECT_EQ(last_two(m, "A"), (std::pair<int64_t, int64_t>{1235, 1000}));
    EXPECT_FALSE(last_two(m, "B"));
    EXPECT_EQ(last_two(m, "C"), (std::pair<int64_t, int64_t>{6016, 4016}));
    EXPECT_FALSE(last_two(m, "D"));
    EXPECT_FALSE(last_two(m, "E"));
    EXPECT_FALSE(last_two(m, "F"));
}

TEST(LookNames, FilmModesStylesAndBlanks) {
    EXPECT_EQ(normalize_look_name("F2/Fujichrome (Velvia)"), "Velvia");
    EXPECT_EQ(normalize_look_name("  F0/Standard (Provia) "), "Provia");
    EXPECT_EQ(normalize_look_name("Standard"), "Standard");
    EXPECT_EQ(normalize_look_name("Vivid; extra"), "Vivid");
    EXPECT_EQ(normalize_look_name("Fine (Art)"), "Fine (Art)");  // no slash: kept whole
    EXPECT_EQ(normalize_look_name("F1/Studio Portrait ( )"), "F1/Studio Portrait ( )");
    EXPECT_EQ(normalize_look_name("F/x )("), "F/x )(");
    EXPECT_FALSE(normalize_look_name(" \t "));
    EXPECT_FALSE(normalize_look_name("; only after"));
}

TEST(HexLensIds, FourOrMoreSingleSpacedHexPairs) {
    EXPECT_TRUE(looks_like_hex_lens_id("8A 3C 37 53 1E 24 86 0E"));
    EXPECT_TRUE(looks_like_hex_lens_id("8a 3c 37 53"));
    EXPECT_FALSE(looks_like_hex_lens_id("8A 3C 37"));
    EXPECT_FALSE(looks_like_hex_lens_id("8A 3C  37 53 1E"));
    EXPECT_FALSE(looks_like_hex_lens_id(" 8A 3C 37 53"));
    EXPECT_FALSE(looks_like_hex_lens_id("8A 3C 37 53 "));
    EXPECT_FALSE(looks_like_hex_lens_id("8A 3C 37 5G"));
    EXPECT_FALSE(looks_like_hex_lens_id("EF24-70mm f/2.8L"));
    EXPECT_FALSE(looks_like_hex_lens_id(""));
}

TEST(Brands, SubstringOfTheLowerCasedMakeInTableOrder) {
    auto b = [](const char* make) { return brand_for(std::string(make)).value_or("-"); };
    EXPECT_EQ(b("Canon"), "Canon");
    EXPECT_EQ(b("NIKON CORPORATION"), "Nikon");
    EXPECT_EQ(b("FUJIFILM"), "Fujifilm");
    EXPECT_EQ(b("OM Digital Solutions"), "Olympus");
    EXPECT_EQ(b("OLYMPUS IMAGING CORP."), "Olympus");
    EXPECT_EQ(b("PENTAX Corporation"), "Ricoh/Pentax");
    EXPECT_EQ(b("RICOH IMAGING COMPANY, LTD."), "Ricoh/Pentax");
    EXPECT_EQ(b("Sony Canon hybrid"), "Canon");
    EXPECT_EQ(b("Panasonic Leica"), "Panasonic");
    EXPECT_EQ(b("LEICA CAMERA AG"), "Leica");
    EXPECT_EQ(b("SIGMA"), "Sigma");
    EXPECT_EQ(b("Apple"), "-");
    EXPECT_EQ(b(""), "-");
    EXPECT_FALSE(brand_for(std::nullopt));
}

TEST(NumericLensIds, DecimalCodesAreNotNames) {
    EXPECT_TRUE(looks_like_numeric_lens_id("3 44"));
    EXPECT_TRUE(looks_like_numeric_lens_id("21"));
    EXPECT_TRUE(looks_like_numeric_lens_id(" 4 -1 "));
    EXPECT_FALSE(looks_like_numeric_lens_id("50mm"));
    EXPECT_FALSE(looks_like_numeric_lens_id("EF 50 1.8"));
    EXPECT_FALSE(looks_like_numeric_lens_id("1.4"));
    EXPECT_FALSE(looks_like_numeric_lens_id("  "));
    EXPECT_FALSE(looks_like_numeric_lens_id("-"));
}
