#include "sane_backend/image/tiff_file.hpp"

#include <unistd.h>

#include <algorithm>

namespace sane_backend {

namespace {

// libtiff's messages would go to the application's standard error; a failed call is reported
// by its result instead.
int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

constexpr std::size_t kStripTarget = 64 * 1024;

}  // namespace

std::unique_ptr<ImageFile> TiffFile::open(int fd, const std::filesystem::path& path,
                                          const std::filesystem::path& temporary, const ImageShape& shape, double x_dpi,
                                          double y_dpi) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        ::close(fd);
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    TIFF* tiff = TIFFFdOpenExt(fd, temporary.c_str(), "w", options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        ::close(fd);
        return nullptr;
    }
    const auto samples = static_cast<std::uint16_t>(shape.samples_per_pixel());
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    if (shape.pixel_type != PixelType::Rgb) {
        photometric = shape.vanilla ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    }
    const auto rows_per_strip = static_cast<std::uint32_t>(
        std::max<std::size_t>(1, kStripTarget / std::max<std::size_t>(1, shape.line_bytes())));
    const bool tagged =
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, shape.width) &&
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(std::max(shape.height, 0))) &&
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(shape.bits_per_sample())) &&
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples) && TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric) &&
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows_per_strip) && TIFFSetField(tiff, TIFFTAG_XRESOLUTION, x_dpi) &&
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, y_dpi) && TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (!tagged) {
        TIFFClose(tiff);
        return nullptr;
    }
    return std::unique_ptr<ImageFile>(new TiffFile(tiff, path, temporary, shape));
}

TiffFile::~TiffFile() {
    if (tiff_) TIFFClose(tiff_);
}

bool TiffFile::write(const std::uint8_t* lines, std::size_t count) {
    const std::size_t line = shape_.line_bytes();
    for (std::size_t at = 0; at < count && !failed_; ++at) {
        // libtiff copies an uncompressed line as it is; it takes a mutable pointer all the same.
        auto* data = const_cast<std::uint8_t*>(lines + at * line);
        failed_ = TIFFWriteScanline(tiff_, data, row_++, 0) != 1;
    }
    return !failed_;
}

bool TiffFile::complete(std::int32_t height) {
    if (failed_ || height < 0 || static_cast<std::uint32_t>(height) != row_) return false;
    const bool flushed = TIFFFlush(tiff_) == 1;
    TIFFClose(tiff_);
    tiff_ = nullptr;
    return flushed;
}

}  // namespace sane_backend
