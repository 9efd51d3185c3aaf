#pragma once
// What the user's service manager shows of the monitor (`systemctl --user status`): READY=1
// once the port is served (or known to be served by another process) and the USB watch has
// started, a STATUS line that says both, kept up to date as the scanner comes and goes, and
// STOPPING=1 on a quit signal. Changes before READY only shape the line READY carries. Any
// thread; without a notifier (not started as a notify service) only the line is kept.

#include <mutex>
#include <string>
#include <string_view>

namespace platform::systemd {
class ServiceNotifier;
}

namespace monitor {

enum class PortState { Serving, ServedElsewhere, NotServed };

class ServiceStatus {
public:
    ServiceStatus() = default;
    ServiceStatus(const ServiceStatus&) = delete;
    ServiceStatus& operator=(const ServiceStatus&) = delete;

    // The notifier to send through; nullptr: none. It must outlive its use here.
    void UseNotifier(const platform::systemd::ServiceNotifier* notifier);

    void NotePortState(PortState state);
    void NoteScannerAttached(bool attached);
    // READY=1 with the status line; later changes are sent as they come.
    void NotifyReady();
    void NotifyStopping();
    // The USB watch could not start: the status says why, and that the monitor ends.
    void NotifyWatchFailed(std::string_view reason);

    // "serving OSPREY_HID_MSG_PORT; scanner attached" and the like.
    std::string Line() const;

private:
    std::string LineLocked() const;
    void SendLineLocked() const;

    mutable std::mutex lock;
    const platform::systemd::ServiceNotifier* notifier = nullptr;
    PortState port = PortState::NotServed;
    bool scanner = false;
    bool ready = false;
};

// The monitor's own: main, the port server and the USB watcher share it.
ServiceStatus& MonitorStatus();

}  // namespace monitor
