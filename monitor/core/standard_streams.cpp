#include "monitor/core/standard_streams.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace monitor {

namespace {

extern "C" void OnBrokenPipe(int) {}

}  // namespace

void OpenMissingStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lower ones are open by now, so the lowest free descriptor is this one. Not
        // close-on-exec: commands run by the monitor get it as their stream too.
        (void)::open("/dev/null", O_RDWR);  // held for the life of the process
    }
}

void CatchBrokenPipeSignal() { std::signal(SIGPIPE, OnBrokenPipe); }

bool WriteErrorLine(std::string_view line) {
    while (!line.empty()) {
        // Per call, so the stream's own flags (shared with the commands the monitor runs) stay.
        ssize_t sent = ::send(STDERR_FILENO, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == ENOTSOCK) {
            pollfd stream{STDERR_FILENO, POLLOUT, 0};
            if (::poll(&stream, 1, 0) != 1 || (stream.revents & POLLOUT) == 0) return false;
            sent = ::write(STDERR_FILENO, line.data(), line.size());
        }
        if (sent < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        line.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace monitor
