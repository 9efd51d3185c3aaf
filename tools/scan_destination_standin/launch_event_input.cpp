#include "tools/scan_destination_standin/launch_event_input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/errno_text.hpp"
#include "platform/base/unique_fd.hpp"

namespace standin {

namespace {

platform::Result<std::vector<std::byte>> read_to_end(int fd, const std::string& name) {
    std::vector<std::byte> bytes;
    std::byte chunk[16384];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return platform::Error{
                platform::errno_text("cannot read the launch event from " + name, errno)};
        }
        if (got == 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

}  // namespace

platform::Result<std::vector<std::byte>> read_launch_event(
    const std::optional<std::filesystem::path>& file) {
    if (file && *file != "-") {
        platform::UniqueFd fd(::open(file->c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd)
            return platform::Error{platform::errno_text("cannot open " + file->string(), errno)};
        return read_to_end(fd.get(), file->string());
    }
    if (!file) {
        // A terminal, a pipe or /dev/null is no launch; reading them could wait for ever.
        struct stat info {};
        if (::fstat(STDIN_FILENO, &info) != 0 || !S_ISREG(info.st_mode)) {
            return std::vector<std::byte>();
        }
    }
    return read_to_end(STDIN_FILENO, "standard input");
}

}  // namespace standin
