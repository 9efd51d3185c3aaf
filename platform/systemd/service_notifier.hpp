#pragma once
// The service manager's notifications (the sd_notify protocol): a service of Type=notify sends
// "READY=1" when it is ready, "STATUS=..." lines a person reads in `systemctl status`, and
// "STOPPING=1" when it begins to stop, as datagrams to the socket named by $NOTIFY_SOCKET.
//
// The variable is read once and removed from the environment, so that the commands and
// applications the program starts do not take the program's notifications for their own. That
// has to happen before any other thread runs (setenv and unsetenv are not safe beside other
// threads), which is why it is a step of its own at the start of main. libsystemd's sd_notify
// reads the variable anew at every call, so it cannot be used once the variable is gone.
//
// Sending never waits: a manager that does not read its socket loses notifications instead of
// holding up the program.

#include <sys/socket.h>
#include <sys/un.h>

#include <string>
#include <string_view>

#include "platform/base/unique_fd.hpp"

namespace platform::systemd {

class ServiceNotifier {
public:
    // No socket: every notification is dropped.
    ServiceNotifier() = default;
    // Takes $NOTIFY_SOCKET out of the environment and opens a socket to it. Without the
    // variable, or with an address other than a path or an abstract name ("@name"), the
    // notifier sends nothing. Call it before any thread is started.
    static ServiceNotifier from_environment();
    // To the socket at that address (a path, or "@name" for an abstract one), for tests.
    static ServiceNotifier to_address(std::string_view address);

    ServiceNotifier(ServiceNotifier&&) noexcept = default;
    ServiceNotifier& operator=(ServiceNotifier&&) noexcept = default;

    bool active() const { return static_cast<bool>(socket_); }

    // Sends the assignments ("READY=1\nSTATUS=..."), one datagram; true when it was sent. Any
    // thread.
    bool notify(std::string_view assignments) const;
    bool ready(std::string_view status) const;
    bool status(std::string_view status) const;
    bool stopping(std::string_view status) const;

private:
    UniqueFd socket_;
    sockaddr_un address_{};
    socklen_t address_length_ = 0;
};

// A status line as one line: every newline becomes a space.
std::string one_line(std::string_view text);

}  // namespace platform::systemd
