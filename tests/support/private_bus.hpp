#pragma once
// A private session bus (Debian's dbus-daemon) in a test's folder, set as this process's
// DBUS_SESSION_BUS_ADDRESS while it lives, with a stand-in for the user's service manager on it
// (standin_user_manager.cpp). Processes the test starts inherit the address.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct StandInManagerOptions {
    std::vector<std::string> environment;  // "NAME=value": its Environment property
    bool refuse = false;                   // every call fails
};

class PrivateBus {
public:
    // Starts the daemon; available() says whether it runs (dbus-daemon may be missing).
    explicit PrivateBus(std::filesystem::path folder);
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    // Ends the manager and the daemon, and puts the environment back.
    ~PrivateBus();

    bool available() const { return daemon_ > 0 && !address_.empty(); }
    const std::string& address() const { return address_; }

    // Starts the stand-in manager and waits until it owns its name; false when it did not.
    bool StartManager(const StandInManagerOptions& options = {});
    // The StartTransientUnit calls the manager answered, one line each.
    std::vector<std::string> ManagerCalls() const;
    // Stops the manager (SIGSTOP): calls to it are queued and never answered, as with a manager
    // that hangs.
    void SilenceManager();
    // Stops the daemon itself: a bus that accepts connections and never answers them.
    void SilenceBus();

private:
    void Stop(pid_t& pid);

    std::filesystem::path folder_;
    pid_t daemon_ = -1;
    pid_t manager_ = -1;
    std::string address_;
    std::optional<std::string> savedAddress_;
};

}  // namespace testing_support
