#pragma once
// A PNG file written through libpng. PNG states the height first, so the lines of an image
// whose height is not known in advance are held until the end.

#include <png.h>

#include <cstdio>
#include <vector>

#include "sane_backend/image/image_file.hpp"

namespace sane_backend {

class PngFile final : public ImageFile {
public:
    // Takes fd (the temporary file, named temporary) and closes it in every case.
    static std::unique_ptr<ImageFile> open(int fd, const std::filesystem::path& path,
                                           const std::filesystem::path& temporary, const ImageShape& shape,
                                           double x_dpi, double y_dpi);
    ~PngFile() override;
    bool write(const std::uint8_t* lines, std::size_t count) override;

private:
    PngFile(std::FILE* file, const std::filesystem::path& path, const std::filesystem::path& temporary,
            const ImageShape& shape, double x_dpi, double y_dpi);
    bool complete(std::int32_t height) override;
    bool write_header(std::uint32_t height);
    bool write_rows(const std::uint8_t* lines, std::size_t count);

    std::FILE* file_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    double x_dpi_;
    double y_dpi_;
    bool header_written_ = false;
    bool failed_ = false;
    std::size_t rows_ = 0;
    std::vector<std::uint8_t> held_;
};

}  // namespace sane_backend
