// Whether a process's first scan can leave it hung. SANE's test device ends its reader thread
// with an asynchronous pthread_cancel at the end of a frame, while that thread is on its way out:
// in pthread_exit, where the first thread end of a process has glibc load its unwinder, or in the
// free() of its buffer, where it holds its malloc arena's lock unless the buffer was big enough
// for malloc to map it on its own (frames of 128 KiB and more). Each round is a fresh process
// that scans once in colour and ends its SANE session, read with libsane alone and through
// DS_Entry; a round still running after 10 s is counted as hung and killed. The windows are
// narrow and show on a busy machine: the first at 75 dpi in a sanitizer build, the second at
// 10 dpi in a plain one.
//
//   build/bench/sane_backend/measure_first_scans [rounds [dpi]]      (75 dpi unless told)

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "bench/sane_backend/scan_world.hpp"

namespace {

using namespace sane_bench;
using namespace twain;

enum class Outcome { Done, Failed, Hung };

double dpi = 75;

int scan_bare() { return bare_scan(dpi, 65536) > 0 ? 0 : 1; }

int scan_through_source() {
    if (!open_source(dpi, TWSX_MEMORY)) return 1;
    const bool scanned = memory_scan() > 0;
    close_source();
    return scanned ? 0 : 1;
}

Outcome round(int (*scan)()) {
    const pid_t child = ::fork();
    if (child < 0) return Outcome::Failed;
    // _exit: the test device's leaked buffers are no concern of this measurement.
    if (child == 0) ::_exit(scan());
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    pollfd ended{pidfd, POLLIN, 0};
    const bool hung = pidfd >= 0 && ::poll(&ended, 1, 10'000) == 0;
    if (hung) ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (pidfd >= 0) ::close(pidfd);
    if (hung) return Outcome::Hung;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Outcome::Done : Outcome::Failed;
}

void measure(const char* title, int (*scan)(), int rounds) {
    int hung = 0;
    int failed = 0;
    for (int count = 0; count < rounds; ++count) {
        const auto outcome = round(scan);
        hung += outcome == Outcome::Hung;
        failed += outcome == Outcome::Failed;
    }
    std::printf("%-26s %d rounds: %d hung, %d failed\n", title, rounds, hung, failed);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (argc > 2) dpi = std::atof(argv[2]);
    if (rounds <= 0 || dpi <= 0 || argc > 3) {
        std::fprintf(stderr, "usage: measure_first_scans [rounds [dpi]]\n");
        return 2;
    }
    const ScanWorld world({});
    measure("libsane alone:", scan_bare, rounds);
    measure("through the data source:", scan_through_source, rounds);
    return 0;
}
