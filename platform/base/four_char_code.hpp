#pragma once
// Four-character codes ('BMon', 'QH06'): 32-bit values with the first character in the most
// significant byte. Event classes and IDs, keywords, descriptor types and creator signatures.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using FourCharCode = std::uint32_t;

consteval FourCharCode four_char_code(const char (&text)[5]) {
    return (static_cast<FourCharCode>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<FourCharCode>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<FourCharCode>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<FourCharCode>(static_cast<unsigned char>(text[3]));
}

// The four bytes of the code, first character first.
inline std::string four_char_string(FourCharCode code) {
    return {static_cast<char>(code >> 24), static_cast<char>((code >> 16) & 0xFF),
            static_cast<char>((code >> 8) & 0xFF), static_cast<char>(code & 0xFF)};
}

// The code of exactly four bytes; empty for any other length.
inline std::optional<FourCharCode> parse_four_char_code(std::string_view bytes) {
    if (bytes.size() != 4) return std::nullopt;
    FourCharCode code = 0;
    for (const char c : bytes) code = (code << 8) | static_cast<unsigned char>(c);
    return code;
}

}  // namespace platform
