#pragma once
// Waiting for a file to grow (a log a program appends to), woken by inotify rather than polling,
// so that a benchmark measures the program and not its own sleeps.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/base/unique_fd.hpp"

namespace bench_support {

// The file's size, or 0 when it cannot be read.
std::uintmax_t file_size_or_zero(const std::filesystem::path& path);

class FileGrowth {
public:
    explicit FileGrowth(std::filesystem::path path);
    // False when the file cannot be watched.
    bool ok() const { return inotify_.valid(); }
    // Blocks until the file is larger than size and answers its new size; empty when inotify
    // fails.
    std::optional<std::uintmax_t> wait_beyond(std::uintmax_t size);

private:
    std::filesystem::path path_;
    platform::UniqueFd inotify_;
};

}  // namespace bench_support
