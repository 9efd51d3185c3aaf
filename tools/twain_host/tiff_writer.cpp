#include "tools/twain_host/tiff_writer.hpp"

#include <tiffio.h>

#include <memory>
#include <string>

namespace twain_host {

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

}  // namespace

platform::Result<void> write_tiff(const std::filesystem::path& file, const RasterImage& image) {
    const std::size_t row_bytes =
        (static_cast<std::size_t>(image.width) * image.samples_per_pixel * image.bits_per_sample +
         7) /
        8;
    if (image.width == 0 || image.height == 0 || image.pixels.size() != row_bytes * image.height) {
        return platform::Error{"no whole image to write to " + file.string()};
    }
    if (image.samples_per_pixel != 1 && image.samples_per_pixel != 3) {
        return platform::Error{std::to_string(image.samples_per_pixel) +
                               " samples per pixel cannot be written"};
    }
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(file.c_str(), "w"));
    if (!tiff) return platform::Error{"cannot create " + file.string()};
    const std::uint16_t photometric = image.samples_per_pixel == 3 ? PHOTOMETRIC_RGB
                                      : image.zero_is_white        ? PHOTOMETRIC_MINISWHITE
                                                                   : PHOTOMETRIC_MINISBLACK;
    TIFFSetField(tiff.get(), TIFFTAG_IMAGEWIDTH, image.width);
    TIFFSetField(tiff.get(), TIFFTAG_IMAGELENGTH, image.height);
    TIFFSetField(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, image.samples_per_pixel);
    TIFFSetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, image.bits_per_sample);
    TIFFSetField(tiff.get(), TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff.get(), 0));
    if (image.x_resolution > 0 && image.y_resolution > 0) {
        TIFFSetField(tiff.get(), TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff.get(), TIFFTAG_XRESOLUTION, static_cast<float>(image.x_resolution));
        TIFFSetField(tiff.get(), TIFFTAG_YRESOLUTION, static_cast<float>(image.y_resolution));
    }
    for (std::uint32_t row = 0; row < image.height; ++row) {
        // libtiff takes a non-const buffer but only reads it for uncompressed data.
        auto* line = const_cast<std::uint8_t*>(image.pixels.data() + row * row_bytes);
        if (TIFFWriteScanline(tiff.get(), line, row, 0) < 0) {
            return platform::Error{"cannot write " + file.string()};
        }
    }
    if (TIFFFlush(tiff.get()) != 1) return platform::Error{"cannot write " + file.string()};
    return {};
}

}  // namespace twain_host
