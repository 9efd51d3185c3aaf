#pragma once
// An uncompressed TIFF file written through libtiff, in strips of about 64 KiB, so that libtiff
// buffers one strip at most. A height not known in advance grows as lines are written.

#include <tiffio.h>

#include "sane_backend/image/image_file.hpp"

namespace sane_backend {

class TiffFile final : public ImageFile {
public:
    // Takes fd (the temporary file, named temporary) and closes it in every case.
    static std::unique_ptr<ImageFile> open(int fd, const std::filesystem::path& path,
                                           const std::filesystem::path& temporary, const ImageShape& shape,
                                           double x_dpi, double y_dpi);
    ~TiffFile() override;
    bool write(const std::uint8_t* lines, std::size_t count) override;

private:
    TiffFile(TIFF* tiff, const std::filesystem::path& path, const std::filesystem::path& temporary,
             const ImageShape& shape)
        : ImageFile(path, temporary, shape), tiff_(tiff) {}
    bool complete(std::int32_t height) override;

    TIFF* tiff_;
    std::uint32_t row_ = 0;
    bool failed_ = false;
};

}  // namespace sane_backend
