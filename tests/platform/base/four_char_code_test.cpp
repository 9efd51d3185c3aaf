#include "platform/base/four_char_code.hpp"

#include <gtest/gtest.h>

namespace {

TEST(FourCharCode, FirstCharacterIsTheMostSignificantByte) {
    static_assert(platform::four_char_code("BMon") == 0x424D6F6E);
    EXPECT_EQ(platform::four_char_string(platform::four_char_code("QH06")), "QH06");
    EXPECT_EQ(platform::four_char_string(0), std::string(4, '\0'));
    EXPECT_EQ(platform::parse_four_char_code("x771"), platform::four_char_code("x771"));
    EXPECT_EQ(platform::parse_four_char_code("\xA9zzz"), 0xA97A7A7AU);
    EXPECT_FALSE(platform::parse_four_char_code("abc"));
    EXPECT_FALSE(platform::parse_four_char_code("abcde"));
}

}  // namespace
