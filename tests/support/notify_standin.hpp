#pragma once
// A stand-in for the service manager's notification socket: a datagram socket at a path (or an
// abstract name) whose messages ("READY=1\nSTATUS=...") a test reads one by one.

#include <chrono>
#include <optional>
#include <string>

#include "platform/base/unique_fd.hpp"

namespace testing_support {

class NotifyStandIn {
public:
    // A path, or "@name" for an abstract socket.
    explicit NotifyStandIn(std::string address);

    bool listening() const { return static_cast<bool>(socket_); }
    // What a service is given as NOTIFY_SOCKET.
    const std::string& address() const { return address_; }
    // The next message, or nullopt when none came in time.
    std::optional<std::string> Next(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sets the receive queue to its least, so that a sender finds it full soon.
    void ShrinkQueue();

private:
    std::string address_;
    platform::UniqueFd socket_;
};

}  // namespace testing_support
