#pragma once
// The codes of application events that the system's code names: descriptor types, keywords and
// the return and transaction IDs an event is created with.

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/base/four_char_code.hpp"

namespace platform::appevents {

inline constexpr FourCharCode type_null = four_char_code("null");
inline constexpr FourCharCode type_appl_signature = four_char_code("sign");
inline constexpr FourCharCode type_sint16 = four_char_code("shor");
inline constexpr FourCharCode type_sint32 = four_char_code("long");
inline constexpr FourCharCode type_boolean = four_char_code("bool");
inline constexpr FourCharCode type_true = four_char_code("true");
inline constexpr FourCharCode type_false = four_char_code("fals");
inline constexpr FourCharCode type_type = four_char_code("type");
inline constexpr FourCharCode type_enumerated = four_char_code("enum");
inline constexpr FourCharCode type_char = four_char_code("TEXT");
inline constexpr FourCharCode type_unicode_text = four_char_code("utxt");
inline constexpr FourCharCode type_app_parameters = four_char_code("appa");

inline constexpr FourCharCode key_direct_object = four_char_code("----");

// No reply is ever awaited here, so an event keeps the return ID it was created with.
inline constexpr std::int16_t auto_generate_return_id = -1;
inline constexpr std::int32_t any_transaction_id = 0;

// A code for messages: 'BMon' when its four characters are printable ASCII, else 0x424D6F6E.
inline std::string code_text(FourCharCode code) {
    const std::string text = four_char_string(code);
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            char hex[11];
            std::snprintf(hex, sizeof hex, "0x%08X", code);
            return hex;
        }
    }
    return "'" + text + "'";
}

}  // namespace platform::appevents
