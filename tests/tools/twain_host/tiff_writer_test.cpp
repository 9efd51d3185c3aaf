#include "tools/twain_host/tiff_writer.hpp"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <memory>

#include "tests/support/temp_dir.hpp"

namespace {

using twain_host::RasterImage;

struct Read {
    std::uint32_t width = 0, height = 0;
    std::uint16_t samples = 0, bits = 0, photometric = 0;
    float x_resolution = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads the file back through libtiff, line by line.
Read read_back(const std::filesystem::path& file) {
    Read read;
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(file.c_str(), "r"), TIFFClose);
    if (!tiff) return read;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &read.width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &read.height);
    TIFFGetField(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &read.samples);
    TIFFGetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, &read.bits);
    TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &read.photometric);
    TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &read.x_resolution);
    const auto line = static_cast<std::size_t>(TIFFScanlineSize(tiff.get()));
    read.pixels.resize(line * read.height);
    for (std::uint32_t row = 0; row < read.height; ++row) {
        if (TIFFReadScanline(tiff.get(), read.pixels.data() + row * line, row, 0) < 0)
            return Read{};
    }
    return read;
}

RasterImage image(std::uint32_t width, std::uint32_t height, std::uint16_t samples,
                  std::uint16_t bits) {
    RasterImage made{width, height, samples, bits, false, 150, 150, {}};
    made.pixels.resize((static_cast<std::size_t>(width) * samples * bits + 7) / 8 * height);
    for (std::size_t i = 0; i < made.pixels.size(); ++i)
        made.pixels[i] = static_cast<std::uint8_t>(i * 7);
    return made;
}

TEST(TiffWriter, ImagesReadBackWithTheirPixelsAndDescription) {
    testing_support::TempDir temp("tiff-writer");
    struct Case {
        RasterImage image;
        std::uint16_t photometric;
    };
    auto vanilla = image(9, 4, 1, 1);  // lines of 9 bits end inside their second byte
    vanilla.zero_is_white = true;
    const Case cases[] = {
        {image(7, 5, 1, 8), PHOTOMETRIC_MINISBLACK},
        {image(6, 3, 3, 16), PHOTOMETRIC_RGB},
        {image(9, 4, 1, 1), PHOTOMETRIC_MINISBLACK},
        {vanilla, PHOTOMETRIC_MINISWHITE},
    };
    for (const auto& c : cases) {
        const auto file = temp / "image.tif";
        ASSERT_TRUE(twain_host::write_tiff(file, c.image));
        const auto read = read_back(file);
        EXPECT_EQ(read.width, c.image.width);
        EXPECT_EQ(read.height, c.image.height);
        EXPECT_EQ(read.samples, c.image.samples_per_pixel);
        EXPECT_EQ(read.bits, c.image.bits_per_sample);
        EXPECT_EQ(read.photometric, c.photometric);
        EXPECT_FLOAT_EQ(read.x_resolution, 150.0f);
        EXPECT_EQ(read.pixels, c.image.pixels)
            << c.image.samples_per_pixel << "x" << c.image.bits_per_sample;
    }
}

TEST(TiffWriter, RefusesImagesThatAreNotWhole) {
    testing_support::TempDir temp("tiff-writer");
    auto short_of_a_line = image(4, 4, 1, 8);
    short_of_a_line.pixels.resize(12);
    EXPECT_FALSE(twain_host::write_tiff(temp / "a.tif", short_of_a_line));
    EXPECT_FALSE(twain_host::write_tiff(temp / "b.tif", image(4, 4, 4, 8)));
    EXPECT_FALSE(twain_host::write_tiff(temp / "missing/c.tif", image(4, 4, 1, 8)));
}

}  // namespace
