#include "platform/diagnostics/descriptors.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/diagnostics/reporting.hpp"

namespace platform::diagnostics {

namespace {

// Mirrors the condition, so that check_descriptors takes no lock while it is off.
std::atomic<bool> exhausted{false};

}  // namespace

void note_error(int error_number, std::string_view step) {
    if (error_number != EMFILE && error_number != ENFILE) return;
    begin_condition(descriptors_exhausted, "", [&] {
        const bool system_wide = error_number == ENFILE;
        return Entry{Priority::Error,
                     std::string(system_wide ? "the system" : "the process") +
                         " has no file descriptor left; steps that need one fail (" +
                         std::string(step) + ")",
                     {{"STEP", std::string(step)}},
                     error_number};
    });
    exhausted.store(true, std::memory_order_relaxed);
}

void check_descriptors() {
    if (!exhausted.load(std::memory_order_relaxed)) return;
    // An eventfd needs no file system, only a free descriptor.
    const int probe = ::eventfd(0, EFD_CLOEXEC);
    if (probe < 0) return;
    ::close(probe);
    exhausted.store(false, std::memory_order_relaxed);
    end_condition(descriptors_exhausted, "", [] {
        return Entry{Priority::Notice, "file descriptors can be had again", {}, 0};
    });
}

}  // namespace platform::diagnostics
