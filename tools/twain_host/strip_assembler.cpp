#include "tools/twain_host/strip_assembler.hpp"

#include <algorithm>

namespace twain_host {

namespace {

platform::Error refused(const std::string& why) {
    return platform::Error{"memory transfer: " + why};
}

}  // namespace

StripAssembler::StripAssembler(std::uint32_t width, std::int32_t length,
                               std::uint32_t bits_per_pixel)
    : width_(width),
      length_(length),
      row_bytes_((static_cast<std::size_t>(width) * bits_per_pixel + 7) / 8) {
    if (length > 0) pixels_.reserve(static_cast<std::size_t>(length) * row_bytes_);
}

platform::Result<void> StripAssembler::add(const Strip& strip) {
    if (strip.compression != 0)
        return refused("compressed strip (compression " + std::to_string(strip.compression) + ")");
    if (strip.columns != width_ || strip.x_offset != 0) {
        return refused("strip of columns " + std::to_string(strip.x_offset) + " to " +
                       std::to_string(strip.x_offset + strip.columns) + " of an image " +
                       std::to_string(width_) + " wide; only whole lines are taken");
    }
    if (strip.y_offset != rows_) {
        return refused("strip at line " + std::to_string(strip.y_offset) + " where line " +
                       std::to_string(rows_) + " comes next");
    }
    if (strip.rows == 0) return {};
    if (strip.bytes_per_row < row_bytes_) {
        return refused(std::to_string(strip.bytes_per_row) + " bytes per row where a line needs " +
                       std::to_string(row_bytes_));
    }
    // The last line of a strip need not carry its padding.
    const std::size_t needed =
        static_cast<std::size_t>(strip.rows - 1) * strip.bytes_per_row + row_bytes_;
    if (strip.bytes.size() < needed) {
        return refused(std::to_string(strip.rows) + " rows in " +
                       std::to_string(strip.bytes.size()) + " bytes written");
    }
    if (length_ >= 0 &&
        static_cast<std::uint64_t>(rows_) + strip.rows > static_cast<std::uint64_t>(length_)) {
        return refused("lines beyond the image's " + std::to_string(length_));
    }
    const std::size_t start = pixels_.size();
    pixels_.resize(start + static_cast<std::size_t>(strip.rows) * row_bytes_);
    for (std::uint32_t row = 0; row < strip.rows; ++row) {
        const auto* from = strip.bytes.data() + static_cast<std::size_t>(row) * strip.bytes_per_row;
        std::copy(from, from + row_bytes_,
                  pixels_.begin() + static_cast<std::ptrdiff_t>(start + row * row_bytes_));
    }
    rows_ += strip.rows;
    return {};
}

platform::Result<void> StripAssembler::finish() const {
    if (length_ >= 0 && rows_ != static_cast<std::uint32_t>(length_)) {
        return refused("the image ended after " + std::to_string(rows_) + " of its " +
                       std::to_string(length_) + " lines");
    }
    if (rows_ == 0) return refused("no lines at all");
    return {};
}

}  // namespace twain_host
