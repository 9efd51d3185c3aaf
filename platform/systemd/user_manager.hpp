#pragma once
// The user's service manager (systemd --user), over the user bus with sd-bus: its environment,
// and transient scopes for processes that should live on their own.
//
// Every operation waits at most until the deadline it is given, the connection's set-up
// included: a manager (or bus) that does not answer costs its caller that long and no more.
// One connection serves one thread.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/result.hpp"

struct sd_bus;
struct sd_bus_message;

namespace platform::systemd {

using Deadline = std::chrono::steady_clock::time_point;

// A transient scope unit for processes that were started already.
struct ScopeSpec {
    std::string name;         // "app-....scope"
    std::string description;  // what `systemctl --user status` shows
    std::string slice;        // "app.slice"; empty for the manager's default
    std::vector<pid_t> pids;
};

class UserManager {
public:
    // The user bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus). Fails at once when
    // there is none; the connection is made by the first call.
    static Result<UserManager> connect();

    UserManager(UserManager&&) noexcept = default;
    UserManager& operator=(UserManager&&) noexcept = default;
    ~UserManager() = default;

    // The manager's environment, the variables it gives the units it starts ("NAME=value").
    Result<std::vector<std::string>> environment(Deadline deadline);
    // Asks for the scope with its processes moved into it; the queued job's object path.
    Result<std::string> start_scope(const ScopeSpec& scope, Deadline deadline);

private:
    struct BusClose {
        void operator()(sd_bus* bus) const noexcept;
    };
    struct MessageUnref {
        void operator()(sd_bus_message* message) const noexcept;
    };
    using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

    explicit UserManager(sd_bus* bus) : bus_(bus) {}
    Result<Message> new_call(const char* interface, const char* member);
    // Sends the call and waits for its reply until the deadline; a method error is an error.
    Result<Message> call(Message& request, Deadline deadline);

    std::unique_ptr<sd_bus, BusClose> bus_;
};

}  // namespace platform::systemd
