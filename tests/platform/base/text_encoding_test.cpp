#include "platform/base/text_encoding.hpp"

#include <gtest/gtest.h>

namespace {

using platform::utf16_to_utf8;
using platform::utf16_to_windows_latin1;
using platform::utf8_to_utf16;

TEST(TextEncoding, Utf16UnitsOfTextIncludingSurrogatePairs) {
    EXPECT_EQ(utf8_to_utf16("10.0.0.5"), u"10.0.0.5");
    EXPECT_EQ(utf8_to_utf16("caf\xC3\xA9 \xE2\x82\xAC"), u"caf\u00E9 \u20AC");
    const std::u16string clef = utf8_to_utf16("\xF0\x9D\x84\x9E");  // U+1D11E
    ASSERT_EQ(clef.size(), 2U);
    EXPECT_EQ(clef[0], 0xD834);
    EXPECT_EQ(clef[1], 0xDD1E);
    for (const char* text : {"", "plain", "caf\xC3\xA9", "\xF0\x9D\x84\x9E!"}) {
        EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(text)), text);
    }
}

TEST(TextEncoding, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(utf8_to_utf16("a\xFFz"), u"a\uFFFDz");
    EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong";
    EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
    EXPECT_EQ(utf8_to_utf16("\xE2\x82"), u"\uFFFD\uFFFD") << "truncated";
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(TextEncoding, WindowsLatin1StopsAtTheFirstUnitItLacks) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(utf16_to_windows_latin1(u"Caf\u00E9 \u20AC\u0153", bytes), 7U);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'C', 'a', 'f', 0xE9, ' ', 0x80, 0x9C}));

    bytes.clear();
    EXPECT_EQ(utf16_to_windows_latin1(u"ab\u4E2Dcd", bytes), 2U);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'a', 'b'}));

    bytes.clear();
    EXPECT_EQ(utf16_to_windows_latin1(u"\u0081x", bytes), 0U) << "0x81 is undefined in 1252";
    EXPECT_EQ(utf16_to_windows_latin1(u"\u4E2D", bytes), 0U);
    EXPECT_TRUE(bytes.empty());
}

}  // namespace
