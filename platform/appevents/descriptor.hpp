#pragma once
// A descriptor: a four-character type and the bytes of its data, exactly as their creator put
// them (numbers and UTF-16 text in host byte order; a signature is a 32-bit number too).

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "platform/appevents/codes.hpp"
#include "platform/base/four_char_code.hpp"
#include "platform/base/result.hpp"

namespace platform::appevents {

class Descriptor {
public:
    // The wire form counts data bytes in 32 bits.
    static constexpr std::size_t max_data_size = std::numeric_limits<std::uint32_t>::max();

    // A descriptor of the type holding a copy of the bytes. Data larger than max_data_size is
    // refused with status -108 (memFullErr), as a block that cannot be had.
    static Result<Descriptor> create(FourCharCode type, std::span<const std::byte> data);
    // A 'null' descriptor without data.
    Descriptor() = default;

    FourCharCode type() const noexcept { return type_; }
    std::size_t size() const noexcept { return data_.size(); }
    std::span<const std::byte> data() const noexcept { return data_; }
    // Copies the first bytes of the data into out, as many as fit; returns how many it copied.
    std::size_t copy_data(std::span<std::byte> out) const noexcept;

    friend bool operator==(const Descriptor&, const Descriptor&) = default;

private:
    Descriptor(FourCharCode type, std::vector<std::byte> data)
        : type_(type), data_(std::move(data)) {}

    FourCharCode type_ = type_null;
    std::vector<std::byte> data_;
};

// The bytes of a value as it lies in memory (host byte order): the data of number descriptors.
template <class T>
std::span<const std::byte> host_bytes(const T& value) noexcept {
    return std::as_bytes(std::span<const T, 1>(&value, 1));
}

}  // namespace platform::appevents
