#pragma once
// Image files written by a file transfer: TIFF (libtiff), PNG (libpng) and BMP. A file is
// written under a temporary name in its folder and renamed into place when complete, so that a
// transfer that fails leaves no half-written file under the name the application chose.
//
// The lines are the data source's: black-and-white and grey follow the image's sense of 0,
// which TIFF records as its photometric interpretation, BMP in its palette, and PNG (whose 0 is
// always black) by inverting a vanilla image as it is written.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "sane_backend/image/image_shape.hpp"

namespace sane_backend {

enum class FileFormat : std::uint16_t { Tiff = 0, Bmp = 2, Png = 7 };  // TWFF_ values

// Whether the format holds images of this shape (BMP has no 16-bit samples).
bool file_format_holds(FileFormat format, const ImageShape& shape);

class ImageFile {
public:
    // A file being written for an image of the shape, whose height may still be unknown (-1);
    // null with errno set when the temporary file cannot be made.
    static std::unique_ptr<ImageFile> create(FileFormat format, const std::filesystem::path& path,
                                             const ImageShape& shape, double x_dpi, double y_dpi);
    virtual ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // count whole lines, in order.
    virtual bool write(const std::uint8_t* lines, std::size_t count) = 0;
    // Completes the file with the final height and puts it in place.
    bool finish(std::int32_t height);

protected:
    ImageFile(std::filesystem::path path, std::filesystem::path temporary, const ImageShape& shape)
        : path_(std::move(path)), temporary_(std::move(temporary)), shape_(shape) {}
    virtual bool complete(std::int32_t height) = 0;

    std::filesystem::path path_;
    std::filesystem::path temporary_;
    ImageShape shape_;
    bool placed_ = false;
};

}  // namespace sane_backend
