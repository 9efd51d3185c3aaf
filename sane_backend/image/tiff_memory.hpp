#pragma once
// The uncompressed TIFF that a native transfer hands over on Linux, laid out so that the pixels
// can be read straight into place: the 8-byte header, the image as one strip from offset 8, then
// the directory (image size, samples, photometric sense, one strip, resolution in dots per inch).
// Byte order is the host's, as are the 16-bit samples inside.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sane_backend/image/image_shape.hpp"

namespace sane_backend {

inline constexpr std::size_t kTiffPixelOffset = 8;

// The whole file's size for the shape (height known); empty when a classic TIFF cannot hold it.
std::optional<std::size_t> tiff_file_size(const ImageShape& shape);

// Writes the header and directory into file, which is tiff_file_size() bytes long and already
// holds the pixels from kTiffPixelOffset on.
void write_tiff_frame(std::uint8_t* file, const ImageShape& shape, double x_dpi, double y_dpi);

}  // namespace sane_backend
