#include "sane_backend/image/image_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "sane_backend/image/bmp_file.hpp"
#include "sane_backend/image/png_file.hpp"
#include "sane_backend/image/tiff_file.hpp"

namespace sane_backend {

namespace {

// The process's file creation mask, read without changing it (another thread may be creating
// files at the same moment).
mode_t creation_mask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

}  // namespace

bool file_format_holds(FileFormat format, const ImageShape& shape) {
    switch (format) {
        case FileFormat::Tiff:
        case FileFormat::Png: return true;
        case FileFormat::Bmp: return shape.bits_per_sample() <= 8;
    }
    return false;
}

std::unique_ptr<ImageFile> ImageFile::create(FileFormat format, const std::filesystem::path& path,
                                             const ImageShape& shape, double x_dpi, double y_dpi) {
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + path.filename().string() + ".partial-XXXXXX")).string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    // The file gets the mode any newly created file of the application would.
    ::fchmod(fd, 0666 & ~creation_mask());
    std::unique_ptr<ImageFile> file;
    switch (format) {
        case FileFormat::Tiff: file = TiffFile::open(fd, path, pattern, shape, x_dpi, y_dpi); break;
        case FileFormat::Bmp: file = BmpFile::open(fd, path, pattern, shape, x_dpi, y_dpi); break;
        case FileFormat::Png: file = PngFile::open(fd, path, pattern, shape, x_dpi, y_dpi); break;
    }
    if (!file) {
        ::unlink(pattern.c_str());
        return nullptr;
    }
    return file;
}

ImageFile::~ImageFile() {
    if (!placed_) ::unlink(temporary_.c_str());
}

bool ImageFile::finish(std::int32_t height) {
    if (!complete(height)) return false;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) return false;
    placed_ = true;
    return true;
}

}  // namespace sane_backend
