#include "monitor/core/standard_streams.hpp"

#include <fcntl.h>
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

}  // namespace monitor
