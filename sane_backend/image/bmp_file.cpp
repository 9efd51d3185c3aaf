#include "sane_backend/image/bmp_file.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace sane_backend {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;

std::size_t palette_entries(const ImageShape& shape) {
    if (shape.pixel_type == PixelType::BlackWhite) return 2;
    if (shape.pixel_type == PixelType::Gray) return 256;
    return 0;
}

void le16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void le32(std::uint8_t* at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) at[byte] = static_cast<std::uint8_t>(value >> (8 * byte));
}

std::uint32_t per_metre(double dpi) { return static_cast<std::uint32_t>(std::lround(std::max(dpi, 0.0) / 0.0254)); }

}  // namespace

std::unique_ptr<ImageFile> BmpFile::open(int fd, const std::filesystem::path& path,
                                         const std::filesystem::path& temporary, const ImageShape& shape, double x_dpi,
                                         double y_dpi) {
    if (!file_format_holds(FileFormat::Bmp, shape) ||
        shape.width > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<ImageFile>(new BmpFile(fd, path, temporary, shape, x_dpi, y_dpi));
}

BmpFile::BmpFile(int fd, const std::filesystem::path& path, const std::filesystem::path& temporary,
                 const ImageShape& shape, double x_dpi, double y_dpi)
    : ImageFile(path, temporary, shape), fd_(fd), x_dpi_(x_dpi), y_dpi_(y_dpi) {
    stride_ = (static_cast<std::size_t>(shape.width) * static_cast<std::size_t>(shape.bits_per_pixel) + 31) / 32 * 4;
    data_offset_ = kFileHeader + kInfoHeader + 4 * palette_entries(shape);
    row_.assign(stride_, 0);
}

BmpFile::~BmpFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool BmpFile::put(const void* bytes, std::size_t length, std::size_t offset) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const auto written = ::pwrite(fd_, at, length, static_cast<off_t>(offset));
        if (written <= 0) return false;
        at += written;
        offset += static_cast<std::size_t>(written);
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

bool BmpFile::write(const std::uint8_t* lines, std::size_t count) {
    const std::size_t line = shape_.line_bytes();
    for (std::size_t at = 0; at < count && !failed_; ++at, ++rows_) {
        const std::uint8_t* source = lines + at * line;
        if (shape_.pixel_type == PixelType::Rgb) {
            for (std::size_t x = 0; x < shape_.width; ++x) {
                row_[3 * x] = source[3 * x + 2];
                row_[3 * x + 1] = source[3 * x + 1];
                row_[3 * x + 2] = source[3 * x];
            }
        } else {
            std::memcpy(row_.data(), source, line);
        }
        if (shape_.height_known() && rows_ >= static_cast<std::size_t>(shape_.height)) {
            failed_ = true;
            break;
        }
        // Bottom-up when the height is known; top-down for now otherwise.
        const std::size_t slot = shape_.height_known() ? static_cast<std::size_t>(shape_.height) - 1 - rows_ : rows_;
        failed_ = !put(row_.data(), stride_, data_offset_ + slot * stride_);
    }
    return !failed_;
}

bool BmpFile::complete(std::int32_t height) {
    if (failed_ || height <= 0 || static_cast<std::size_t>(height) != rows_) return false;
    if (!shape_.height_known()) {
        // Turn the top-down rows around, two at a time.
        std::vector<std::uint8_t> other(stride_);
        for (std::size_t top = 0, bottom = rows_ - 1; top < bottom; ++top, --bottom) {
            const auto top_at = static_cast<off_t>(data_offset_ + top * stride_);
            const auto bottom_at = static_cast<off_t>(data_offset_ + bottom * stride_);
            if (::pread(fd_, row_.data(), stride_, top_at) != static_cast<ssize_t>(stride_) ||
                ::pread(fd_, other.data(), stride_, bottom_at) != static_cast<ssize_t>(stride_) ||
                !put(other.data(), stride_, static_cast<std::size_t>(top_at)) ||
                !put(row_.data(), stride_, static_cast<std::size_t>(bottom_at))) {
                return false;
            }
        }
    }
    const std::size_t image = stride_ * rows_;
    if (data_offset_ + image > std::numeric_limits<std::uint32_t>::max()) return false;
    std::array<std::uint8_t, kFileHeader + kInfoHeader + 4 * 256> header{};
    header[0] = 'B';
    header[1] = 'M';
    le32(&header[2], static_cast<std::uint32_t>(data_offset_ + image));
    le32(&header[10], static_cast<std::uint32_t>(data_offset_));
    std::uint8_t* info = &header[kFileHeader];
    le32(info, kInfoHeader);
    le32(info + 4, shape_.width);
    le32(info + 8, static_cast<std::uint32_t>(height));  // positive: bottom-up
    le16(info + 12, 1);
    le16(info + 14, static_cast<std::uint16_t>(shape_.bits_per_pixel));
    le32(info + 20, static_cast<std::uint32_t>(image));
    le32(info + 24, per_metre(x_dpi_));
    le32(info + 28, per_metre(y_dpi_));
    const auto entries = palette_entries(shape_);
    le32(info + 32, static_cast<std::uint32_t>(entries));
    // The palette maps each value to its grey; vanilla has 0 as white.
    for (std::size_t index = 0; index < entries; ++index) {
        const std::size_t level = entries == 2 ? index * 255 : index;
        const auto grey = static_cast<std::uint8_t>(shape_.vanilla ? 255 - level : level);
        std::uint8_t* entry = &header[kFileHeader + kInfoHeader + 4 * index];
        entry[0] = entry[1] = entry[2] = grey;
    }
    if (!put(header.data(), data_offset_, 0)) return false;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

}  // namespace sane_backend
