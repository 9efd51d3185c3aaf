#pragma once
// The host's own TIFF writer, through libtiff: an uncompressed image
// as a memory transfer delivers it (chunky samples, rows without padding, 16-bit samples in the
// machine's byte order).

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/base/result.hpp"

namespace twain_host {

struct RasterImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samples_per_pixel = 1;  // 1 (black and white, gray) or 3 (RGB)
    std::uint16_t bits_per_sample = 8;
    bool zero_is_white = false;  // 0 is black unless the pixels are vanilla
    double x_resolution = 0;     // dots per inch; 0 leaves it out
    double y_resolution = 0;
    std::vector<std::uint8_t> pixels;  // height rows of ceil(width * samples * bits / 8) bytes
};

platform::Result<void> write_tiff(const std::filesystem::path& file, const RasterImage& image);

}  // namespace twain_host
