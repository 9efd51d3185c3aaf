#pragma once
// Conversions between the UTF-8 text of this platform's strings and the encodings other
// programs and devices expect: UTF-16 code units (a framework string's "characters") and
// Windows Latin-1 (code page 1252).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// UTF-16 code units of UTF-8 text. Malformed UTF-8 (a stray byte, an overlong form, an encoded
// surrogate) becomes U+FFFD, one per offending byte, so nothing is silently dropped.
std::u16string utf8_to_utf16(std::string_view utf8);
// UTF-8 text of UTF-16 code units; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view utf16);

// Windows Latin-1 bytes of the code units, converting until the first unit that code page 1252
// cannot represent (a lossless conversion that stops, as a conversion with no loss byte does).
// Returns how many units were converted; their bytes are appended to out.
std::size_t utf16_to_windows_latin1(std::u16string_view units, std::vector<std::uint8_t>& out);

}  // namespace platform
