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

TEST(Readers, NumbersKeepTheirKinds) {
    const auto m = tags(R"({"I": 100, "F": 100.0, "N": -3, "Big": 18446744073709551615, "S": "7"})");
    EXPECT_EQ(as_int(find_tag(m, "I")), 100);
    EXPECT_EQ(as_int(find_tag(m, "N")), -3);
    for (auto k : {"F", "Big", "S"}) EXPECT_FALSE(as_int(find_tag(m, k))) << k;
    EXPECT_EQ(as_float(find_tag(m, "I")), 100.0);
    EXPECT_FALSE(as_float(find_tag(m, "S")));
}

TEST(Readers, PairNeedsTwoPositiveIntegers) {
    const auto m = tags(R"({"W": 6000, "H": 4000, "Z": 0, "F": 10.0})");
    EXPECT_EQ(pair(m, "W", "H"), (std::pair<int64_t, int64_t>{6000, 4000}));
    for (auto h : {"Z", "F", "Missing"}) EXPECT_FALSE(pair(m, "W", h)) << h;
}

TEST(Readers, LastTwoRoundsHalvesAwayFromZero) {
    const auto m = tags(R"({"A": "1234.5 999.5", "B": "0 480", "C": "x 10 abc 6016  4016 ", "D": "42", "E": 7,
                           "F": "2.5 -3"})");
    EXPECT_EQ(last_two(m, "A"), (std::pair<int64_t, int64_t>{1235, 1000}));
    EXPECT_EQ(last_two(m, "C"), (std::pair<int64_t, int64_t>{6016, 4016}));
    for (auto k : {"B", "D", "E", "F"}) EXPECT_FALSE(last_two(m, k)) << k;
}

TEST(LookNames, FilmModesStylesAndBlanks) {
    const std::pair<const char*, const char*> cases[] = {
        {"F2/Fujichrome (Velvia)", "Velvia"}, {"  F0/Standard (Provia) ", "Provia"}, {"Standard", "Standard"},
        {"Vivid; extra", "Vivid"}, {"Fine (Art)", "Fine (Art)"},  // no slash: kept whole
        {"F1/Studio Portrait ( )", "F1/Studio Portrait ( )"}, {"F/x )(", "F/x )("}, {" \t ", nullptr},
        {"; only after", nullptr}};
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(normalize_look_name(in), out ? std::optional<std::string>(out) : std::nullopt);
    }
}

TEST(LensIds, HexPairsAndDecimalCodesAreNotNames) {
    // Four or more single-spaced hex pairs.
    for (auto s : {"8A 3C 37 53 1E 24 86 0E", "8a 3c 37 53"}) EXPECT_TRUE(looks_like_hex_lens_id(s)) << s;
    for (auto s : {"8A 3C 37", "8A 3C  37 53 1E", " 8A 3C 37 53", "8A 3C 37 53 ", "8A 3C 37 5G", "EF24-70mm f/2.8L", ""}) {
        EXPECT_FALSE(looks_like_hex_lens_id(s)) << s;
    }
    for (auto s : {"3 44", "21", " 4 -1 "}) EXPECT_TRUE(looks_like_numeric_lens_id(s)) << s;
    for (auto s : {"50mm", "EF 50 1.8", "1.4", "  ", "-"}) EXPECT_FALSE(looks_like_numeric_lens_id(s)) << s;
}

TEST(Brands, SubstringOfTheLowerCasedMakeInTableOrder) {
    const std::pair<const char*, const char*> cases[] = {
        {"Canon", "Canon"}, {"NIKON CORPORATION", "Nikon"}, {"FUJIFILM", "Fujifilm"},
        {"OM Digital Solutions", "Olympus"}, {"OLYMPUS IMAGING CORP.", "Olympus"},
        {"PENTAX Corporation", "Ricoh/Pentax"}, {"RICOH IMAGING COMPANY, LTD.", "Ricoh/Pentax"},
        {"Sony Canon hybrid", "Canon"}, {"Panasonic Leica", "Panasonic"}, {"LEICA CAMERA AG", "Leica"},
        {"SIGMA", "Sigma"}, {"Apple", "-"}, {"", "-"}};
    for (const auto& [make, brand] : cases) EXPECT_EQ(brand_for(std::string(make)).value_or("-"), brand) << make;
    EXPECT_FALSE(brand_for(std::nullopt));
}
