#pragma once
// A BMP file (Windows bitmap, 40-byte header): 1-bit and 8-bit grey through a palette that says
// which value is black, RGB as 24-bit BGR. Rows are stored bottom-up, each written straight to
// its place when the height is known; otherwise they are written top-down and turned around in
// the file at the end.

#include <vector>

#include "sane_backend/image/image_file.hpp"

namespace sane_backend {

class BmpFile final : public ImageFile {
public:
    // Takes fd (the temporary file, named temporary) and closes it in every case.
    static std::unique_ptr<ImageFile> open(int fd, const std::filesystem::path& path,
                                           const std::filesystem::path& temporary, const ImageShape& shape,
                                           double x_dpi, double y_dpi);
    ~BmpFile() override;
    bool write(const std::uint8_t* lines, std::size_t count) override;

private:
    BmpFile(int fd, const std::filesystem::path& path, const std::filesystem::path& temporary, const ImageShape& shape,
            double x_dpi, double y_dpi);
    bool complete(std::int32_t height) override;
    bool put(const void* bytes, std::size_t length, std::size_t offset);

    int fd_;
    double x_dpi_;
    double y_dpi_;
    std::size_t stride_;
    std::size_t data_offset_;
    std::size_t rows_ = 0;
    bool failed_ = false;
    std::vector<std::uint8_t> row_;
};

}  // namespace sane_backend
