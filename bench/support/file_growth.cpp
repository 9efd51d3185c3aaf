#include "bench/support/file_growth.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace bench_support {

std::uintmax_t file_size_or_zero(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

FileGrowth::FileGrowth(std::filesystem::path path)
    : path_(std::move(path)), inotify_(::inotify_init1(IN_CLOEXEC)) {
    if (inotify_ && ::inotify_add_watch(inotify_.get(), path_.c_str(), IN_MODIFY) < 0) {
        inotify_.reset();
    }
}

std::optional<std::uintmax_t> FileGrowth::wait_beyond(std::uintmax_t size) {
    std::array<char, 4096> events{};
    for (;;) {
        const auto now = file_size_or_zero(path_);
        if (now > size) return now;
        if (::read(inotify_.get(), events.data(), events.size()) < 0 && errno != EINTR) {
            return std::nullopt;
        }
    }
}

}  // namespace bench_support
