#include "platform/systemd/service_notifier.hpp"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform::systemd {

ServiceNotifier ServiceNotifier::from_environment() {
    const char* variable = std::getenv("NOTIFY_SOCKET");
    if (!variable) return {};
    const std::string address(variable);
    ::unsetenv("NOTIFY_SOCKET");
    return to_address(address);
}

ServiceNotifier ServiceNotifier::to_address(std::string_view address) {
    ServiceNotifier notifier;
    // A path, or an abstract name after '@'; anything else (vsock:, ...) is not ours to use.
    const bool abstract = address.starts_with('@');
    if (address.size() < 2 || (!abstract && !address.starts_with('/')) ||
        address.size() >= sizeof notifier.address_.sun_path) {
        return notifier;
    }
    notifier.address_.sun_family = AF_UNIX;
    std::memcpy(notifier.address_.sun_path, address.data(), address.size());
    if (abstract) notifier.address_.sun_path[0] = '\0';
    // An abstract name's length is exact; a path ends at its terminator.
    notifier.address_length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                      address.size() + (abstract ? 0 : 1));
    notifier.socket_ = UniqueFd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    return notifier;
}

bool ServiceNotifier::notify(std::string_view assignments) const {
    if (!socket_) return false;
    for (;;) {
        const ssize_t sent = ::sendto(
            socket_.get(), assignments.data(), assignments.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
            reinterpret_cast<const sockaddr*>(&address_), address_length_);
        if (sent >= 0) return true;
        if (errno != EINTR) return false;
    }
}

bool ServiceNotifier::ready(std::string_view status) const {
    return notify("READY=1\nSTATUS=" + one_line(status));
}

bool ServiceNotifier::status(std::string_view status) const {
    return notify("STATUS=" + one_line(status));
}

bool ServiceNotifier::stopping(std::string_view status) const {
    return notify("STOPPING=1\nSTATUS=" + one_line(status));
}

std::string one_line(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

}  // namespace platform::systemd
