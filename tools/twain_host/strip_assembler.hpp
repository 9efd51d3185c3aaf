#pragma once
// A memory transfer put back together: strips of whole lines, uncompressed, in order from the top,
// copied into one image whose rows have no padding. The height may be unknown until the last
// strip. A strip that does not fit is refused with words that say why, so a broken source ends
// in a failure instead of a wrong image.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/base/result.hpp"

namespace twain_host {

struct Strip {
    std::uint16_t compression = 0;
    std::uint32_t bytes_per_row = 0;
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    std::uint32_t x_offset = 0;
    std::uint32_t y_offset = 0;
    std::span<const std::uint8_t> bytes;  // BytesWritten bytes of the buffer
};

class StripAssembler {
public:
    // length < 0: the height is not known in advance.
    StripAssembler(std::uint32_t width, std::int32_t length, std::uint32_t bits_per_pixel);

    platform::Result<void> add(const Strip& strip);
    // After the last strip: fails when a known height was not reached.
    platform::Result<void> finish() const;

    std::uint32_t width() const { return width_; }
    std::uint32_t rows() const { return rows_; }
    std::size_t row_bytes() const { return row_bytes_; }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

private:
    std::uint32_t width_;
    std::int32_t length_;
    std::size_t row_bytes_;
    std::uint32_t rows_ = 0;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace twain_host
