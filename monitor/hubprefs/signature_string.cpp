#include "monitor/hubprefs/signature_string.hpp"

#include "platform/base/text_encoding.hpp"

namespace monitor {

std::string SignatureString(platform::FourCharCode code) {
    std::u16string characters;
    for (const char byte : platform::four_char_string(code)) {
        characters.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
    }
    return platform::utf16_to_utf8(characters);
}

std::optional<platform::FourCharCode> SignatureCode(std::string_view text) {
    // Malformed UTF-8 turns into U+FFFD, which is refused below like any wide character.
    const std::u16string characters = platform::utf8_to_utf16(text);
    std::string bytes;
    for (const char16_t character : characters) {
        if (character > 0xFF) return std::nullopt;
        bytes.push_back(static_cast<char>(character));
    }
    return platform::parse_four_char_code(bytes);
}

}  // namespace monitor
