#include "monitor/hubprefs/name_compare.hpp"

#include <gtest/gtest.h>

#include "monitor/hubprefs/signature_string.hpp"

namespace {

TEST(NameCompare, CaseIsIgnoredLetterByLetterAndStrayBytesOnlyMatchThemselves) {
    EXPECT_TRUE(monitor::EqualIgnoringCase("\xD0\x96URNAL", "\xD0\xB6urnal"));  // Cyrillic Zhe
    EXPECT_FALSE(monitor::EqualIgnoringCase("ab\xFF", "ab\xFE"));
    EXPECT_TRUE(monitor::EqualIgnoringCase("AB\xFF", "ab\xFF"));
    // A stray byte is not the letter it would be in Latin-1.
    EXPECT_FALSE(monitor::EqualIgnoringCase("\xC9", "\xC3\xA9"));
    EXPECT_FALSE(monitor::EqualIgnoringCase("abc", "ab"));
}

TEST(NameCompare, CollationIsByteOrderInTheCLocale) {
    EXPECT_TRUE(monitor::CollatesBefore("A", "b"));
    EXPECT_TRUE(monitor::CollatesBefore("B", "a"));
    EXPECT_FALSE(monitor::CollatesBefore("a", "a"));
}

TEST(SignatureString, OnlyFourLatinOneCharactersAreACode) {
    EXPECT_EQ(monitor::SignatureString(platform::four_char_code("QH06")), "QH06");
    EXPECT_EQ(monitor::SignatureCode("\xC2\xA9"
                                     "abc"),
              0xA9616263U);
    EXPECT_FALSE(
        monitor::SignatureCode("\xC4\x80"
                               "abc"))
        << "U+0100 is no byte";
    EXPECT_FALSE(
        monitor::SignatureCode("\xA9"
                               "abc"))
        << "not UTF-8";
    EXPECT_FALSE(monitor::SignatureCode("abc"));
}

}  // namespace
