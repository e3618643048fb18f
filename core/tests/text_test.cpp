#include <gtest/gtest.h>

#include "text.hpp"

using namespace orv::text;

TEST(Utf8, ValidationAcceptsTextAndRejectsBrokenSequences) {
    EXPECT_TRUE(is_valid_utf8("plain ascii"));
    EXPECT_TRUE(is_valid_utf8("Crémieux \xF0\x9F\x93\xB7"));
    EXPECT_FALSE(is_valid_utf8("\xFF"));
    EXPECT_FALSE(is_valid_utf8("\xC3"));              // cut short
    EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(Utf8, LossyDecodingReplacesEachMaximalInvalidRunOnce) {
    EXPECT_EQ(utf8_lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    // A cut-short three-byte sequence is one replacement, not two.
    EXPECT_EQ(utf8_lossy("\xE2\x82" "x"), "\xEF\xBF\xBD" "x");
    EXPECT_EQ(utf8_lossy("\xE2\x82\xAC"), "\xE2\x82\xAC");
    EXPECT_EQ(utf8_lossy("\xFF\xFE"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(is_valid_utf8(utf8_lossy("\xF0\x9F\x93")));
}

TEST(Lowercase, FullUnicodeMapping) {
    EXPECT_EQ(to_lower("IMG_0002.JPG"), "img_0002.jpg");
    EXPECT_EQ(to_lower("ÉCLAIR.NEF"), "éclair.nef");
    // Capital I with dot above becomes two code points.
    EXPECT_EQ(to_lower("\xC4\xB0"), "i\xCC\x87");
    EXPECT_EQ(to_lower("\xE1\xBA\x9E"), "\xC3\x9F");  // capital sharp s
    EXPECT_EQ(to_lower("ΣΟΦΙΑ"), "σοφια");
    // A capital sigma ending a word takes the final form (\xCF\x82), anywhere
    // else the ordinary one (\xCF\x83).
    EXPECT_EQ(to_lower("\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3"), "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82");
    EXPECT_EQ(to_lower("\xCE\x91\xCE\xA3 \xCE\xA6\xCE\xA3"), "\xCE\xB1\xCF\x82 \xCF\x86\xCF\x82");
    EXPECT_EQ(to_lower("\xCE\x91\xCE\xA3.\xCE\xA6"), "\xCE\xB1\xCF\x83.\xCF\x86");  // "." does not end a word
    EXPECT_EQ(to_lower("\xCE\x91\xCE\xA3'"), "\xCE\xB1\xCF\x82'");
    EXPECT_EQ(to_lower("\xCE\x91\xCE\xA3'\xCE\x91"), "\xCE\xB1\xCF\x83'\xCE\xB1");
    EXPECT_EQ(to_lower("\xCE\xA3"), "\xCF\x83");
    EXPECT_EQ(to_lower(".\xCE\xA3"), ".\xCF\x83");
    // The root locale: a plain capital I is i, not a dotless i.
    EXPECT_EQ(to_lower("I\xC3\x89"), "i\xC3\xA9");
    // Bytes that are not UTF-8 become U+FFFD; the rest is still lower-cased.
    EXPECT_EQ(to_lower("\xFF\xC3\x89"), "\xEF\xBF\xBD\xC3\xA9");
    EXPECT_EQ(to_lower(""), "");
}

TEST(Trim, UnicodeWhiteSpaceBothEnds) {
    EXPECT_EQ(trim("  a b \n"), "a b");
    EXPECT_EQ(trim("\xC2\xA0\xE3\x80\x80x\xE2\x80\x83"), "x");  // NBSP, ideographic space, em space
    EXPECT_EQ(trim(" \t "), "");
    EXPECT_EQ(trim("\xC3\xA9"), "\xC3\xA9");
}

TEST(Numbers, DecimalParsing) {
    EXPECT_EQ(parse_double("1.5"), 1.5);
    EXPECT_EQ(parse_double("+2"), 2.0);
    EXPECT_EQ(parse_double("-1e3"), -1000.0);
    EXPECT_EQ(parse_double(".5"), 0.5);
    EXPECT_FALSE(parse_double(""));
    EXPECT_FALSE(parse_double("1.5x"));
    EXPECT_FALSE(parse_double("+-1"));
    EXPECT_FALSE(parse_double("0x10"));
    EXPECT_EQ(parse_u64("+42"), 42u);
    EXPECT_FALSE(parse_u64("-1"));
    EXPECT_FALSE(parse_u64("+"));
    EXPECT_FALSE(parse_u64("18446744073709551616"));
    EXPECT_EQ(parse_u64("18446744073709551615"), UINT64_MAX);
}
