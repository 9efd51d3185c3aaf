#include "tests/sane_backend/support/picture.hpp"

#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace sane_testing {

using namespace twain;

namespace {

std::uint16_t sample_of(const std::uint8_t* line, int index, int depth) {
    if (depth == 1) return static_cast<std::uint16_t>((line[index / 8] >> (7 - index % 8)) & 1);
    if (depth == 8) return line[index];
    std::uint16_t value;
    std::memcpy(&value, line + 2 * index, 2);
    return value;
}

Picture unpack(const std::uint8_t* data, std::size_t stride, int width, int height, int channels, int depth,
               bool zero_is_white) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.channels = channels;
    picture.depth = depth;
    picture.samples.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                            static_cast<std::size_t>(channels));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* line = data + static_cast<std::size_t>(y) * stride;
        for (int index = 0; index < width * channels; ++index) {
            const auto value = sample_of(line, index, depth);
            picture.samples.push_back(zero_is_white ? static_cast<std::uint16_t>(picture.white() - value) : value);
        }
    }
    return picture;
}

struct MemoryFile {
    const std::vector<std::uint8_t>* bytes;
    toff_t at = 0;
};

tsize_t memory_read(thandle_t handle, tdata_t into, tsize_t size) {
    auto* file = static_cast<MemoryFile*>(handle);
    const auto available = file->bytes->size() > file->at ? file->bytes->size() - file->at : 0;
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(size), available);
    std::memcpy(into, file->bytes->data() + file->at, count);
    file->at += count;
    return static_cast<tsize_t>(count);
}
tsize_t memory_write(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (whence == SEEK_SET) file->at = offset;
    if (whence == SEEK_CUR) file->at += offset;
    if (whence == SEEK_END) file->at = file->bytes->size() + offset;
    return file->at;
}
int memory_close(thandle_t) { return 0; }
toff_t memory_size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes->size(); }
int no_map(thandle_t, tdata_t*, toff_t*) { return 0; }
void no_unmap(thandle_t, tdata_t, toff_t) {}

std::uint16_t grid(int depth, double dpi, int x, int y) {
    const double square = 10.0 * dpi / 25.4;
    const int period = static_cast<int>(2 * square + 0.5);
    const bool black = (static_cast<int>(x / square) % 2 == 1) != (y % period > static_cast<int>(square + 0.5));
    return black ? 0 : static_cast<std::uint16_t>((1 << depth) - 1);
}

std::uint16_t colour_pattern(int depth, int channels, int x, int y, int channel) {
    if (depth == 1) {
        const bool black = ((x / 16) % 2 == 1) != (y % 32 >= 16);
        return black ? 0 : 1;
    }
    if (depth == 8) {
        const int line = y % (channels == 3 ? 30 : 10);
        if (line % 5 == 0 || x % 5 == 0) return 0x55;
        const int block = x / 5;
        const bool falling = channels == 3 ? (line / 5) % 2 == 1 : line > 5;
        const auto level = static_cast<std::uint16_t>(falling ? 0xff - (block & 0xff) : block & 0xff);
        if (channels == 1) return level;
        const int lit = line / 10;  // red, green, blue bands of ten lines
        return channel == lit ? level : 0;
    }
    const int line = y % 260;
    if (line < 4 || x < 4) return 0x5555;
    const int block = (x - 4) / 260;
    const int within = (x - 4) % 260;
    if (within >= 256) return 0x5555;
    const auto level = static_cast<std::uint16_t>((within << 8) | ((line - 4) & 0xff));
    if (channels == 1) return level;
    return channel == block % 3 ? level : 0;
}

}  // namespace

Picture from_lines(const std::vector<std::uint8_t>& bytes, const TW_IMAGEINFO& info, bool vanilla) {
    const int channels = info.SamplesPerPixel;
    const int depth = info.BitsPerSample[0];
    const std::size_t stride =
        (static_cast<std::size_t>(info.ImageWidth) * static_cast<std::size_t>(info.BitsPerPixel) + 7) / 8;
    const int height = stride ? static_cast<int>(bytes.size() / stride) : 0;
    auto picture =
        unpack(bytes.data(), stride, info.ImageWidth, height, channels, depth, vanilla && info.PixelType != TWPT_RGB);
    picture.x_dpi = from_fix32(info.XResolution);
    picture.y_dpi = from_fix32(info.YResolution);
    return picture;
}

std::optional<Picture> from_tiff(const std::vector<std::uint8_t>& bytes) {
    MemoryFile file{&bytes};
    TIFF* tiff = TIFFClientOpen("memory", "r", &file, memory_read, memory_write, memory_seek, memory_close, memory_size,
                                no_map, no_unmap);
    if (!tiff) return std::nullopt;
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, compression = 0;
    float x_dpi = 0, y_dpi = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x_dpi);
    TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y_dpi);
    const auto stride = static_cast<std::size_t>(TIFFScanlineSize(tiff));
    std::vector<std::uint8_t> data(stride * height);
    bool read = planar == PLANARCONFIG_CONTIG && compression == COMPRESSION_NONE;
    for (std::uint32_t y = 0; read && y < height; ++y)
        read = TIFFReadScanline(tiff, data.data() + y * stride, y, 0) == 1;
    TIFFClose(tiff);
    if (!read) return std::nullopt;
    auto picture = unpack(data.data(), stride, static_cast<int>(width), static_cast<int>(height), samples, bits,
                          photometric == PHOTOMETRIC_MINISWHITE);
    picture.x_dpi = x_dpi;
    picture.y_dpi = y_dpi;
    return picture;
}

std::optional<Picture> from_png(const std::vector<std::uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
    // Read the rows ourselves for the exact depth: the simplified API widens everything.
    png_image_free(&image);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    struct Source {
        const std::vector<std::uint8_t>* bytes;
        std::size_t at;
    } source{&bytes, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::nullopt;
    }
    png_set_read_fn(png, &source, [](png_structp reader, png_bytep into, png_size_t length) {
        auto* from = static_cast<Source*>(png_get_io_ptr(reader));
        if (from->at + length > from->bytes->size()) png_error(reader, "short");
        std::memcpy(into, from->bytes->data() + from->at, length);
        from->at += length;
    });
    png_read_info(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (depth == 16) png_set_swap(png);
    const auto width = png_get_image_width(png, info);
    const auto height = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    const auto stride = png_get_rowbytes(png, info);
    std::vector<std::uint8_t> data(stride * height);
    for (std::uint32_t y = 0; y < height; ++y) png_read_row(png, data.data() + y * stride, nullptr);
    png_uint_32 x_ppm = 0, y_ppm = 0;
    int unit = 0;
    png_get_pHYs(png, info, &x_ppm, &y_ppm, &unit);
    png_destroy_read_struct(&png, &info, nullptr);
    auto picture =
        unpack(data.data(), stride, static_cast<int>(width), static_cast<int>(height), channels, depth, false);
    picture.x_dpi = x_ppm * 0.0254;
    picture.y_dpi = y_ppm * 0.0254;
    return picture;
}

std::optional<Picture> from_bmp(const std::vector<std::uint8_t>& bytes) {
    const auto u32 = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (int byte = 3; byte >= 0; --byte) value = value << 8 | bytes[at + static_cast<std::size_t>(byte)];
        return value;
    };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M' || u32(2) != bytes.size()) return std::nullopt;
    const std::uint32_t offset = u32(10);
    const auto width = static_cast<int>(u32(18));
    const auto height = static_cast<int>(u32(22));
    const int bits = bytes[28] | bytes[29] << 8;
    const auto colours = u32(46);
    const std::size_t stride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    if (height <= 0 || offset + stride * static_cast<std::size_t>(height) > bytes.size()) return std::nullopt;
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.channels = bits == 24 ? 3 : 1;
    picture.depth = bits == 1 ? 1 : 8;
    picture.x_dpi = u32(38) * 0.0254;
    picture.y_dpi = u32(42) * 0.0254;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* line = bytes.data() + offset + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                for (int c = 0; c < 3; ++c) picture.samples.push_back(line[3 * x + 2 - c]);
                continue;
            }
            const auto index = sample_of(line, x, bits);
            if (index >= colours) return std::nullopt;
            const std::uint8_t grey = bytes[54 + 4 * static_cast<std::size_t>(index)];
            picture.samples.push_back(bits == 1 ? static_cast<std::uint16_t>(grey / 255) : grey);
        }
    }
    return picture;
}

std::string pattern_name(Pattern pattern) {
    switch (pattern) {
        case Pattern::SolidBlack: return "Solid black";
        case Pattern::SolidWhite: return "Solid white";
        case Pattern::Grid: return "Grid";
        case Pattern::ColorPattern: return "Color pattern";
    }
    return {};
}

std::uint16_t drawn(Pattern pattern, int depth, int channels, double dpi, int x, int y, int channel) {
    switch (pattern) {
        case Pattern::SolidBlack: return 0;
        case Pattern::SolidWhite: return static_cast<std::uint16_t>((1 << depth) - 1);
        case Pattern::Grid: return grid(depth, dpi, x, y);
        case Pattern::ColorPattern: return colour_pattern(depth, channels, x, y, channel);
    }
    return 0;
}

std::string first_difference(const Picture& picture, Pattern pattern, double dpi) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            for (int c = 0; c < picture.channels; ++c) {
                const auto want = drawn(pattern, picture.depth, picture.channels, dpi, x, y, c);
                if (picture.at(x, y, c) != want) {
                    std::ostringstream text;
                    text << "pixel (" << x << ", " << y << ") channel " << c << " is " << picture.at(x, y, c)
                         << ", the device drew " << want;
                    return text.str();
                }
            }
        }
    }
    return {};
}

}  // namespace sane_testing
