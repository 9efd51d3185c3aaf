#pragma once
// Counts the times a file is opened, as the kernel reports them (inotify): how a test sees that
// a file was read, such as libsane's dll.conf in sane_init or a bundle's Info.plist.

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

#include "platform/base/unique_fd.hpp"

namespace testing_support {

class FileWatch {
public:
    explicit FileWatch(const std::filesystem::path& file)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_.valid()) ::inotify_add_watch(fd_.get(), file.c_str(), IN_OPEN);
    }
    bool valid() const { return fd_.valid(); }
    // The opens reported since the last call.
    int opens() const {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const auto length = ::read(fd_.get(), buffer, sizeof buffer);
            if (length <= 0) return count;
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_OPEN) ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    platform::UniqueFd fd_;
};

}  // namespace testing_support
