#include "sane_backend/image/line_converter.hpp"

#include <cstring>

namespace sane_backend {

std::optional<LineConverter> LineConverter::for_frame(const SANE_Parameters& frame, bool vanilla) {
    if (frame.pixels_per_line <= 0 || frame.bytes_per_line <= 0) return std::nullopt;
    if (frame.depth != 1 && frame.depth != 8 && frame.depth != 16) return std::nullopt;
    LineConverter converter;
    auto& shape = converter.shape_;
    shape.width = static_cast<std::uint32_t>(frame.pixels_per_line);
    shape.height = frame.lines >= 0 ? frame.lines : -1;
    switch (frame.format) {
        case SANE_FRAME_GRAY:
            shape.pixel_type = frame.depth == 1 ? PixelType::BlackWhite : PixelType::Gray;
            shape.bits_per_pixel = frame.depth;
            shape.vanilla = vanilla;
            break;
        case SANE_FRAME_RGB:
        case SANE_FRAME_RED:
        case SANE_FRAME_GREEN:
        case SANE_FRAME_BLUE:
            if (frame.depth == 1) return std::nullopt;
            shape.pixel_type = PixelType::Rgb;
            shape.bits_per_pixel = 3 * frame.depth;
            if (frame.format != SANE_FRAME_RGB) {
                converter.channel_ = frame.format == SANE_FRAME_RED ? 0 : frame.format == SANE_FRAME_GREEN ? 1 : 2;
            }
            break;
        default: return std::nullopt;
    }
    const std::size_t samples_per_line =
        static_cast<std::size_t>(frame.pixels_per_line) * (frame.format == SANE_FRAME_RGB ? 3u : 1u);
    const std::size_t needed = (samples_per_line * static_cast<std::size_t>(frame.depth) + 7) / 8;
    converter.raw_line_bytes_ = static_cast<std::size_t>(frame.bytes_per_line);
    if (converter.raw_line_bytes_ < needed) return std::nullopt;
    // Line art is always turned around (or masked); vanilla grey is inverted.
    converter.identity_ = !converter.channel_ && shape.pixel_type != PixelType::BlackWhite &&
                          !(shape.pixel_type == PixelType::Gray && vanilla);
    return converter;
}

void LineConverter::convert(const std::uint8_t* raw, std::uint8_t* out) const {
    const std::size_t bytes = line_bytes();
    if (identity_) {
        std::memcpy(out, raw, bytes);
        return;
    }
    if (channel_) {
        const std::size_t width = shape_.width;
        const int channel = *channel_;
        if (shape_.bits_per_pixel == 24) {
            for (std::size_t x = 0; x < width; ++x) out[3 * x + static_cast<std::size_t>(channel)] = raw[x];
        } else {
            for (std::size_t x = 0; x < width; ++x) {
                std::memcpy(out + 6 * x + 2 * static_cast<std::size_t>(channel), raw + 2 * x, 2);
            }
        }
        return;
    }
    if (shape_.pixel_type == PixelType::BlackWhite) {
        // SANE: 1 is black. Chocolate: 0 is black, so every bit turns around; vanilla keeps them.
        const std::uint8_t flip = shape_.vanilla ? 0x00 : 0xff;
        for (std::size_t at = 0; at < bytes; ++at) out[at] = static_cast<std::uint8_t>(raw[at] ^ flip);
        // The bits past the last pixel are 0 whatever the device put there.
        if (const auto used = shape_.width % 8) out[bytes - 1] &= static_cast<std::uint8_t>(0xff << (8 - used));
        return;
    }
    // Vanilla grey: the lightest value becomes 0.
    if (shape_.bits_per_pixel == 8) {
        for (std::size_t at = 0; at < bytes; ++at) out[at] = static_cast<std::uint8_t>(0xff - raw[at]);
    } else {
        for (std::size_t at = 0; at + 1 < bytes; at += 2) {
            std::uint16_t sample;
            std::memcpy(&sample, raw + at, 2);
            sample = static_cast<std::uint16_t>(0xffff - sample);
            std::memcpy(out + at, &sample, 2);
        }
    }
}

void LineConverter::fill_white(std::uint8_t* out) const {
    const std::size_t bytes = line_bytes();
    const bool zero_is_white = shape_.vanilla && shape_.pixel_type != PixelType::Rgb;
    if (shape_.pixel_type == PixelType::BlackWhite && !zero_is_white) {
        std::memset(out, 0xff, bytes);
        if (const auto used = shape_.width % 8) out[bytes - 1] &= static_cast<std::uint8_t>(0xff << (8 - used));
        return;
    }
    std::memset(out, zero_is_white ? 0x00 : 0xff, bytes);
}

}  // namespace sane_backend
