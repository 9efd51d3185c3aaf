#pragma once
// The threads a scan started in this process, so that the end of a frame can wait for them.
//
// libsane's backends that read on a thread of their own (sanei_thread: SANE's test device and many
// others) end that thread with an asynchronous pthread_cancel in the sane_read that hands over the
// frame's last bytes. The thread has written those bytes and is on its way out, freeing its
// buffer: cancelled inside free(), it dies holding its malloc arena's lock, and then either waits
// for that lock itself while glibc tidies its thread cache (the sane_read joining it never
// returns) or leaves the arena locked for the next thread that is given it. Cancelling a thread
// that has already ended is harmless, so the device reads the last byte of a frame only once the
// threads started since sane_start have ended.
//
// The process's thread count tells: a listing of /proc/self/task can skip live threads while
// another one exits, which is when it would be read.

#include <chrono>
#include <cstddef>

namespace sane_backend {

class ScanThreads {
public:
    // The threads of the process just before a scan starts.
    static ScanThreads before_start();

    // Waits until the process has no more threads than then, or the limit has passed; whether it
    // came back to that. A process whose thread count cannot be read has nothing to wait for.
    bool wait_for_end(std::chrono::milliseconds limit) const;

private:
    explicit ScanThreads(std::size_t before) : before_(before) {}
    bool all_ended() const;

    std::size_t before_;
};

// How many threads the process has; 0 when /proc cannot say.
std::size_t thread_count();

}  // namespace sane_backend
