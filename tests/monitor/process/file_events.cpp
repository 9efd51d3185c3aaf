#include "tests/monitor/process/file_events.hpp"

#include <sys/inotify.h>
#include <unistd.h>

namespace process_test {

FileEvents::FileEvents() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FileEvents::~FileEvents() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileEvents::Watch(const std::filesystem::path& path, std::uint32_t mask, std::string label) {
    if (fd_ < 0) return false;
    const int watch = ::inotify_add_watch(fd_, path.c_str(), mask);
    if (watch < 0) return false;
    labels_[watch] = std::move(label);
    return true;
}

const std::vector<std::string>& FileEvents::Seen() {
    alignas(inotify_event) char buffer[4096];
    for (ssize_t length; fd_ >= 0 && (length = ::read(fd_, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const auto label = labels_.find(event->wd);
            if (label == labels_.end()) continue;
            const std::string name = event->len > 0 ? std::string(" ") + event->name : "";
            if (event->mask & IN_CREATE) seen_.push_back(label->second + " created" + name);
            if (event->mask & IN_DELETE) seen_.push_back(label->second + " removed" + name);
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
                seen_.push_back(label->second + " closed");
        }
    }
    return seen_;
}

}  // namespace process_test
