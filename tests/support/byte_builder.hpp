#pragma once
// Expected bytes written out field by field: little-endian and host-order integers,
// four-character codes first character first, raw bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace testing_support {

class ByteBuilder {
public:
    ByteBuilder& code(std::string_view four) { return text(four); }
    ByteBuilder& text(std::string_view raw) {
        for (const char c : raw) bytes_.push_back(static_cast<std::byte>(c));
        return *this;
    }
    ByteBuilder& le16(std::uint16_t value) { return le(value, 2); }
    ByteBuilder& le32(std::uint32_t value) { return le(value, 4); }
    // The value as it lies in this machine's memory.
    template <class T>
    ByteBuilder& host(T value) {
        std::byte raw[sizeof value];
        std::memcpy(raw, &value, sizeof value);
        bytes_.insert(bytes_.end(), raw, raw + sizeof value);
        return *this;
    }
    ByteBuilder& byte(std::uint8_t value) {
        bytes_.push_back(static_cast<std::byte>(value));
        return *this;
    }
    const std::vector<std::byte>& bytes() const { return bytes_; }
    operator const std::vector<std::byte>&() const { return bytes_; }  // NOLINT: convenience

private:
    ByteBuilder& le(std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes_.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
        return *this;
    }

    std::vector<std::byte> bytes_;
};

}  // namespace testing_support
