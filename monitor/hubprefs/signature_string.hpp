#pragma once
// Four-character codes as the destination list stores them: a string of four characters, the
// first character being the most significant byte of the code.
//
// Stored strings are UTF-8 here, so each byte of the code is the character with that number
// (U+0000 to U+00FF, as ISO Latin-1 maps bytes): 'QH06' is "QH06", and a byte such as 0xA9 is
// "\u00A9". Every code has exactly one string and every such string reads back as its code
// (though a zero byte, U+0000, cannot be kept in the preferences file).

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/four_char_code.hpp"

namespace monitor {

std::string SignatureString(platform::FourCharCode code);

// Empty unless the text is exactly four characters, each U+00FF or below.
std::optional<platform::FourCharCode> SignatureCode(std::string_view text);

}  // namespace monitor
