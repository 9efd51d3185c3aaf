#pragma once
// An image as the data source hands it over: pixel type, bits per pixel, size, and the sense of
// the zero value for black-and-white and grey images.

#include <cstddef>
#include <cstdint>

namespace sane_backend {

enum class PixelType : std::uint16_t { BlackWhite = 0, Gray = 1, Rgb = 2 };  // TWPT_ values

struct ImageShape {
    PixelType pixel_type = PixelType::Gray;
    int bits_per_pixel = 8;  // 1, 8, 16, 24 or 48
    std::uint32_t width = 0;
    std::int32_t height = -1;  // -1 until the device has said where the image ends
    // Under "vanilla", 0 is white in black-and-white and grey images (TWPF_VANILLA); colour
    // samples are intensities either way.
    bool vanilla = false;

    int samples_per_pixel() const { return pixel_type == PixelType::Rgb ? 3 : 1; }
    int bits_per_sample() const { return bits_per_pixel / samples_per_pixel(); }
    std::size_t line_bytes() const {
        return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits_per_pixel) + 7) / 8;
    }
    bool height_known() const { return height >= 0; }
    std::size_t image_bytes() const { return height_known() ? line_bytes() * static_cast<std::size_t>(height) : 0; }
};

}  // namespace sane_backend
