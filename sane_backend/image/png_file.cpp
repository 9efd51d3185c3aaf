#include "sane_backend/image/png_file.hpp"

#include <unistd.h>

#include <bit>
#include <cmath>
#include <csetjmp>

namespace sane_backend {

namespace {

// libpng reports errors by jumping back to the setjmp of the call that failed; the functions
// that call into it hold nothing that needs destroying.
[[noreturn]] void jump_back(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore_warning(png_structp, png_const_charp) {}

png_uint_32 per_metre(double dpi) { return static_cast<png_uint_32>(std::lround(std::max(dpi, 0.0) / 0.0254)); }

}  // namespace

std::unique_ptr<ImageFile> PngFile::open(int fd, const std::filesystem::path& path,
                                         const std::filesystem::path& temporary, const ImageShape& shape, double x_dpi,
                                         double y_dpi) {
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<PngFile> png(new PngFile(file, path, temporary, shape, x_dpi, y_dpi));
    if (!png->png_ || !png->info_) return nullptr;
    if (shape.height_known() && !png->write_header(static_cast<std::uint32_t>(shape.height))) return nullptr;
    return png;
}

PngFile::PngFile(std::FILE* file, const std::filesystem::path& path, const std::filesystem::path& temporary,
                 const ImageShape& shape, double x_dpi, double y_dpi)
    : ImageFile(path, temporary, shape), file_(file), x_dpi_(x_dpi), y_dpi_(y_dpi) {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jump_back, ignore_warning);
    if (png_) info_ = png_create_info_struct(png_);
}

PngFile::~PngFile() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
    if (file_) std::fclose(file_);
}

bool PngFile::write_header(std::uint32_t height) {
    if (setjmp(png_jmpbuf(png_))) return false;
    const int colour = shape_.pixel_type == PixelType::Rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    png_init_io(png_, file_);
    png_set_IHDR(png_, info_, shape_.width, height, shape_.bits_per_sample(), colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png_, info_, per_metre(x_dpi_), per_metre(y_dpi_), PNG_RESOLUTION_METER);
    png_write_info(png_, info_);
    // PNG's samples are big-endian and its grey has 0 as black.
    if (shape_.bits_per_sample() == 16 && std::endian::native == std::endian::little) png_set_swap(png_);
    if (shape_.pixel_type != PixelType::Rgb && shape_.vanilla) png_set_invert_mono(png_);
    header_written_ = true;
    return true;
}

bool PngFile::write_rows(const std::uint8_t* lines, std::size_t count) {
    if (setjmp(png_jmpbuf(png_))) return false;
    const std::size_t line = shape_.line_bytes();
    for (std::size_t at = 0; at < count; ++at) png_write_row(png_, lines + at * line);
    return true;
}

bool PngFile::write(const std::uint8_t* lines, std::size_t count) {
    if (failed_) return false;
    if (!header_written_) {
        held_.insert(held_.end(), lines, lines + count * shape_.line_bytes());
    } else {
        failed_ = !write_rows(lines, count);
    }
    rows_ += count;
    return !failed_;
}

bool PngFile::complete(std::int32_t height) {
    if (failed_ || height <= 0 || static_cast<std::size_t>(height) != rows_) return false;
    if (!header_written_) {
        if (!write_header(static_cast<std::uint32_t>(height)) || !write_rows(held_.data(), rows_)) return false;
        std::vector<std::uint8_t>().swap(held_);
    }
    if (setjmp(png_jmpbuf(png_))) return false;
    png_write_end(png_, info_);
    std::FILE* file = file_;
    file_ = nullptr;
    return std::fclose(file) == 0;
}

}  // namespace sane_backend
