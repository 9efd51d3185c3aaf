#pragma once
// Reading a whole regular file. The descriptor is never inherited by a program that another
// thread starts meanwhile, and what is no regular file (a FIFO, a device, a folder) is refused
// before a read could wait for ever or never end. Header-only, so that the shared property-list
// library can use it without taking in the rest of this folder.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/base/errno_text.hpp"
#include "platform/base/os_status.hpp"
#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"

namespace platform {

// The file's bytes. Status -43 (fnfErr) when it cannot be opened; -1 when it is no regular file
// or cannot be read.
inline Result<std::string> read_regular_file(const std::filesystem::path& path) {
    const auto failure = [&path](const char* what, int error_number, int status) {
        return Error{std::string(what) + " " + path.string() + ": " + errno_text(error_number),
                     status};
    };
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return failure("cannot open", errno, os_status::fnfErr);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return failure("cannot inspect", errno, -1);
    if (!S_ISREG(status.st_mode)) return Error{path.string() + " is not a regular file"};
    std::string bytes;
    char chunk[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return failure("cannot read", errno, -1);
        if (got == 0) return bytes;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

}  // namespace platform
