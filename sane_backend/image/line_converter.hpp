#pragma once
// Turns the lines of a SANE frame into the data source's lines: the pixels the frame says a line
// has (a backend may pad its lines), black-and-white with 0 as black under chocolate (SANE's
// line art has 1 as black), grey inverted under vanilla, 16-bit samples in the host's byte order
// as SANE delivers them, and the single-colour frames of a three-pass scanner each into its
// channel of a chunky RGB line.

#include <sane/sane.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sane_backend/image/image_shape.hpp"

namespace sane_backend {

class LineConverter {
public:
    // The converter for a frame, or empty when the data source has no image type for it (line
    // art in colour, depths other than 1, 8 and 16, lines shorter than their pixels).
    static std::optional<LineConverter> for_frame(const SANE_Parameters& frame, bool vanilla);

    // The image the frames make: width and height of the frame (height -1 when unknown).
    const ImageShape& shape() const { return shape_; }
    std::size_t raw_line_bytes() const { return raw_line_bytes_; }
    std::size_t line_bytes() const { return shape_.line_bytes(); }
    // Whether a converted line is the raw line's first line_bytes() bytes as they are.
    bool identity() const { return identity_; }
    // Whether the frame is one colour of a three-pass scan, and which (0 red, 1 green, 2 blue).
    std::optional<int> channel() const { return channel_; }

    // One whole line: raw_line_bytes() in, line_bytes() out. A single-colour frame writes only
    // its channel of out and leaves the other samples as they are.
    void convert(const std::uint8_t* raw, std::uint8_t* out) const;
    // A line of the background (white) for lines the device did not deliver.
    void fill_white(std::uint8_t* out) const;

private:
    LineConverter() = default;

    ImageShape shape_;
    std::size_t raw_line_bytes_ = 0;
    bool identity_ = false;
    std::optional<int> channel_;
};

}  // namespace sane_backend
