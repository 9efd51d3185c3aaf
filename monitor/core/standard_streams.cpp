#include "monitor/core/standard_streams.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/diagnostics/reporting.hpp"

namespace monitor {

namespace {

namespace diagnostics = platform::diagnostics;

constexpr std::string_view kNotRead = "STANDARD_ERROR_NOT_READ";

// How long a line waits for a reader that is behind. Once one line is dropped the next do not
// wait at all until a line goes out again, so a reader that stopped costs this wait once.
constexpr int kWaitForReaderMs = 200;

// Waits until the stream takes more, for at most timeout_ms.
bool Writable(int timeout_ms) {
    pollfd stream{STDERR_FILENO, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&stream, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    return ready == 1 && (stream.revents & POLLOUT) != 0;
}

// One attempt to write what is left of the line without blocking; the count written, or -1.
ssize_t WriteSome(std::string_view line) {
    // Per call, so the stream's own flags (shared with the commands the monitor runs) stay.
    const ssize_t sent =
        ::send(STDERR_FILENO, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0 || errno != ENOTSOCK) return sent;
    // A pipe, a terminal or a file: poll said writable, which for a pipe means room for a line.
    if (!Writable(0)) {
        errno = EAGAIN;
        return -1;
    }
    return ::write(STDERR_FILENO, line.data(), line.size());
}

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
    const bool behind = diagnostics::condition_on(kNotRead, "");
    while (!line.empty()) {
        const ssize_t sent = WriteSome(line);
        if (sent >= 0) {
            line.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN && !behind && Writable(kWaitForReaderMs)) continue;
        if (errno == EAGAIN) {
            diagnostics::begin_condition(kNotRead, "", [] {
                return diagnostics::Entry{diagnostics::Priority::Warning,
                                          "standard error is not read: unique numbers of network "
                                          "events are dropped until its reader reads again",
                                          {}};
            });
        }
        return false;
    }
    diagnostics::end_condition(kNotRead, "", [] {
        return diagnostics::Entry{
            diagnostics::Priority::Notice, "standard error is read again", {}};
    });
    return true;
}

}  // namespace monitor
