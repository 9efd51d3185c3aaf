#pragma once
// The hexadecimal text of bytes, two lower-case digits a byte: how the test backend writes an
// identity in its log and how the tests write the identity they expect.

#include <cstddef>
#include <string>

namespace twain_testing {

inline std::string hex(const void* data, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<const unsigned char*>(data)[i];
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

}  // namespace twain_testing
