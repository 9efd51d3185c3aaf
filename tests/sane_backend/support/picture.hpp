#pragma once
// Images decoded from what a transfer delivered (lines of a memory transfer, the TIFF of a
// native transfer, TIFF, PNG and BMP files) into one form: intensities from 0 (black) up, per
// channel, whatever sense of 0 the data had. And the pictures SANE's test device draws, pixel by
// pixel, to check them against.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_testing {

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 1;
    int depth = 8;  // bits per sample
    double x_dpi = 0;
    double y_dpi = 0;
    std::vector<std::uint16_t> samples;  // row by row, channel by channel; 0 is black

    std::uint16_t at(int x, int y, int channel = 0) const {
        return samples[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) *
                           static_cast<std::size_t>(channels) +
                       static_cast<std::size_t>(channel)];
    }
    int white() const { return (1 << depth) - 1; }
};

// The lines of a memory transfer, described by the image information; vanilla: 0 was white.
Picture from_lines(const std::vector<std::uint8_t>& bytes, const twain::TW_IMAGEINFO& info, bool vanilla);
std::optional<Picture> from_tiff(const std::vector<std::uint8_t>& bytes);
std::optional<Picture> from_png(const std::vector<std::uint8_t>& bytes);
std::optional<Picture> from_bmp(const std::vector<std::uint8_t>& bytes);

// The test device's pictures (its "test-picture" option).
enum class Pattern { SolidBlack, SolidWhite, Grid, ColorPattern };
std::string pattern_name(Pattern pattern);
inline void PrintTo(Pattern pattern, std::ostream* out) { *out << pattern_name(pattern); }

// What the test device draws at (x, y) in channel c, as an intensity of the given depth, for a
// grey (channels 1) or colour (3) scan at dpi.
std::uint16_t drawn(Pattern pattern, int depth, int channels, double dpi, int x, int y, int channel);

// The first pixel where the picture and the drawing differ, described; empty when none.
std::string first_difference(const Picture& picture, Pattern pattern, double dpi);

}  // namespace sane_testing
