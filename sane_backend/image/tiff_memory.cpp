#include "sane_backend/image/tiff_memory.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace sane_backend {

namespace {

constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kRational = 5;
constexpr std::size_t kEntries = 13;
constexpr std::size_t kDirectoryBytes = 2 + kEntries * 12 + 4;
// Behind the directory: three BitsPerSample shorts (padded to 8) and the two resolutions.
constexpr std::size_t kExtraBytes = 8 + 8 + 8;

std::size_t directory_offset(const ImageShape& shape) {
    const std::size_t end = kTiffPixelOffset + shape.image_bytes();
    return end + (end & 1);  // the directory starts on a word boundary
}

class Writer {
public:
    explicit Writer(std::uint8_t* at) : at_(at) {}
    void u16(std::uint16_t value) { put(&value, 2); }
    void u32(std::uint32_t value) { put(&value, 4); }
    void entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == kShort && count == 1) {
            u16(static_cast<std::uint16_t>(value));
            u16(0);
        } else {
            u32(value);
        }
    }

private:
    void put(const void* bytes, std::size_t length) {
        std::memcpy(at_, bytes, length);
        at_ += length;
    }
    std::uint8_t* at_;
};

// A resolution as a rational in hundredths of a dot per inch.
void write_rational(std::uint8_t* at, double dpi) {
    const auto numerator = static_cast<std::uint32_t>(std::lround(std::max(dpi, 0.0) * 100.0));
    const std::uint32_t denominator = 100;
    std::memcpy(at, &numerator, 4);
    std::memcpy(at + 4, &denominator, 4);
}

}  // namespace

std::optional<std::size_t> tiff_file_size(const ImageShape& shape) {
    if (!shape.height_known()) return std::nullopt;
    const std::size_t limit = std::numeric_limits<std::uint32_t>::max() - kDirectoryBytes - kExtraBytes;
    if (shape.line_bytes() != 0 && static_cast<std::size_t>(shape.height) > limit / shape.line_bytes()) {
        return std::nullopt;
    }
    const std::size_t size = directory_offset(shape) + kDirectoryBytes + kExtraBytes;
    if (size > limit) return std::nullopt;
    return size;
}

void write_tiff_frame(std::uint8_t* file, const ImageShape& shape, double x_dpi, double y_dpi) {
    const bool little = std::endian::native == std::endian::little;
    const auto ifd = static_cast<std::uint32_t>(directory_offset(shape));
    const std::uint32_t extra = ifd + static_cast<std::uint32_t>(kDirectoryBytes);
    const std::uint32_t bits_at = extra;
    const std::uint32_t x_at = extra + 8;
    const std::uint32_t y_at = extra + 16;

    file[0] = little ? 'I' : 'M';
    file[1] = file[0];
    Writer header(file + 2);
    header.u16(42);
    header.u32(ifd);
    if (ifd > kTiffPixelOffset + shape.image_bytes()) file[ifd - 1] = 0;

    const auto samples = static_cast<std::uint16_t>(shape.samples_per_pixel());
    const auto bits = static_cast<std::uint16_t>(shape.bits_per_sample());
    std::uint16_t photometric = 2;                                                // RGB
    if (shape.pixel_type != PixelType::Rgb) photometric = shape.vanilla ? 0 : 1;  // min is white / black

    Writer directory(file + ifd);
    directory.u16(static_cast<std::uint16_t>(kEntries));
    directory.entry(256, kLong, 1, shape.width);                                            // ImageWidth
    directory.entry(257, kLong, 1, static_cast<std::uint32_t>(shape.height));               // ImageLength
    directory.entry(258, kShort, samples, samples == 1 ? bits : bits_at);                   // BitsPerSample
    directory.entry(259, kShort, 1, 1);                                                     // Compression: none
    directory.entry(262, kShort, 1, photometric);                                           // PhotometricInterpretation
    directory.entry(273, kLong, 1, static_cast<std::uint32_t>(kTiffPixelOffset));           // StripOffsets
    directory.entry(277, kShort, 1, samples);                                               // SamplesPerPixel
    directory.entry(278, kLong, 1, static_cast<std::uint32_t>(std::max(shape.height, 1)));  // RowsPerStrip
    directory.entry(279, kLong, 1, static_cast<std::uint32_t>(shape.image_bytes()));        // StripByteCounts
    directory.entry(282, kRational, 1, x_at);                                               // XResolution
    directory.entry(283, kRational, 1, y_at);                                               // YResolution
    directory.entry(284, kShort, 1, 1);  // PlanarConfiguration: chunky
    directory.entry(296, kShort, 1, 2);  // ResolutionUnit: inch
    directory.u32(0);                    // no next directory

    Writer bits_per_sample(file + bits_at);
    for (int at = 0; at < 4; ++at) bits_per_sample.u16(at < samples ? bits : 0);
    write_rational(file + x_at, x_dpi);
    write_rational(file + y_at, y_dpi);
}

}  // namespace sane_backend
