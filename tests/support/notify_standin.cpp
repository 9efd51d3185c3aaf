#include "tests/support/notify_standin.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace testing_support {

NotifyStandIn::NotifyStandIn(std::string address) : address_(std::move(address)) {
    platform::UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    if (!socket || address_.size() >= sizeof name.sun_path) return;
    std::memcpy(name.sun_path, address_.data(), address_.size());
    const bool abstract = address_.starts_with('@');
    if (abstract) name.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size() +
                                               (abstract ? 0 : 1));
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&name), length) != 0) return;
    socket_ = std::move(socket);
}

std::optional<std::string> NotifyStandIn::Next(std::chrono::milliseconds timeout) {
    if (!socket_) return std::nullopt;
    pollfd readable{socket_.get(), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
    std::vector<char> buffer(64 * 1024);
    const ssize_t got = ::recv(socket_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got < 0) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(got));
}

void NotifyStandIn::ShrinkQueue() {
    const int least = 1;
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, &least, sizeof least);
}

}  // namespace testing_support
