#include <gtest/gtest.h>

#include "text.hpp"

using namespace orv::text;

TEST(Utf8, ValidationAcceptsTextAndRejectsBrokenSequences) {
    EXPECT_TRUE(is_valid_utf8("plain ascii"));
    EXPECT_TRUE(is_valid_utf8("Crémieux \xF0\x9F\x93\xB7"));
    // Stray, cut short, overlong, surrogate, above U+10FFFF.
    for (auto s : {"\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) EXPECT_FALSE(is_valid_utf8(s)) << s;
}

TEST(Utf8, LossyDecodingReplacesEachMaximalInvalidRunOnce) {
    EXPECT_EQ(utf8_lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    // A cut-short three-byte sequence is one replacement, not two.
    EXPECT_EQ(utf8_lossy("\xE2\x82" "x"), "\xEF\xBF\xBD" "x");
    EXPECT_EQ(utf8_lossy("\xE2\x82\xAC"), "\xE2\x82\xAC");
    EXPECT_EQ(utf8_lossy("\xFF\xFE"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(is_valid_utf8(utf8_lossy("\xF0\x9F\x93")));
}

TEST(Lowercase, FullUnicodeMappingInTheRootLocale) {
    const std::pair<const char*, const char*> cases[] = {
        {"IMG_0002.JPG", "img_0002.jpg"},
        {"ÉCLAIR.NEF", "éclair.nef"},
        {"\xC4\xB0", "i\xCC\x87"},        // capital I with dot above becomes two code points
        {"\xE1\xBA\x9E", "\xC3\x9F"},     // capital sharp s
        {"I\xC3\x89", "i\xC3\xA9"},       // root locale: a plain capital I is i, not a dotless i
        {"\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82"},  // final sigma ends a word
        {"\xCE\x91\xCE\xA3.\xCE\xA6", "\xCE\xB1\xCF\x83.\xCF\x86"},                // "." does not end a word
        {"\xFF\xC3\x89", "\xEF\xBF\xBD\xC3\xA9"},  // bytes that are not UTF-8 become U+FFFD
        {"", ""}};
    for (const auto& [in, out] : cases) EXPECT_EQ(to_lower(in), out) << in;
}

TEST(Trim, UnicodeWhiteSpaceBothEnds) {
    EXPECT_EQ(trim("  a b \n"), "a b");
    EXPECT_EQ(trim("\xC2\xA0\xE3\x80\x80x\xE2\x80\x83"), "x");  // NBSP, ideographic space, em space
    EXPECT_EQ(trim(" \t "), "");
    EXPECT_EQ(trim("\xC3\xA9"), "\xC3\xA9");
}

TEST(Numbers, DecimalParsing) {
    for (auto [s, v] : {std::pair{"1.5", 1.5}, {"+2", 2.0}, {"-1e3", -1000.0}, {".5", 0.5}}) EXPECT_EQ(parse_double(s), v) << s;
    for (auto s : {"", "1.5x", "+-1", "0x10"}) EXPECT_FALSE(parse_double(s)) << s;
    EXPECT_EQ(parse_u64("+42"), 42u);
    EXPECT_EQ(parse_u64("18446744073709551615"), UINT64_MAX);
    for (auto s : {"-1", "+", "18446744073709551616"}) EXPECT_FALSE(parse_u64(s)) << s;
}
