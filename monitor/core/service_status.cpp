#include "monitor/core/service_status.hpp"

#include "platform/systemd/service_notifier.hpp"

namespace monitor {

void ServiceStatus::UseNotifier(const platform::systemd::ServiceNotifier* newNotifier) {
    const std::lock_guard guard(lock);
    notifier = newNotifier;
}

void ServiceStatus::NotePortState(PortState state) {
    const std::lock_guard guard(lock);
    if (port == state) return;
    port = state;
    SendLineLocked();
}

void ServiceStatus::NoteScannerAttached(bool attached) {
    const std::lock_guard guard(lock);
    if (scanner == attached) return;
    scanner = attached;
    SendLineLocked();
}

void ServiceStatus::NotifyReady() {
    const std::lock_guard guard(lock);
    ready = true;
    if (notifier) notifier->ready(LineLocked());
}

void ServiceStatus::NotifyStopping() {
    const std::lock_guard guard(lock);
    if (notifier) notifier->stopping("stopping on a quit signal");
}

void ServiceStatus::NotifyWatchFailed(std::string_view reason) {
    const std::lock_guard guard(lock);
    if (notifier) {
        notifier->status("cannot watch USB (" + std::string(reason) +
                         "); ending, to be started again by the service manager");
    }
}

std::string ServiceStatus::Line() const {
    const std::lock_guard guard(lock);
    return LineLocked();
}

std::string ServiceStatus::LineLocked() const {
    std::string line;
    switch (port) {
        case PortState::Serving: line = "serving OSPREY_HID_MSG_PORT"; break;
        case PortState::ServedElsewhere:
            line =
                "OSPREY_HID_MSG_PORT is served by another process, no network scan requests here";
            break;
        case PortState::NotServed:
            line = "OSPREY_HID_MSG_PORT could not be served, no network scan requests";
            break;
    }
    line += scanner ? "; scanner attached" : "; no scanner attached";
    return line;
}

void ServiceStatus::SendLineLocked() const {
    if (ready && notifier) notifier->status(LineLocked());
}

ServiceStatus& MonitorStatus() {
    // Never destroyed: the port thread may still be at work while main's objects go.
    static ServiceStatus* const status = new ServiceStatus;
    return *status;
}

}  // namespace monitor
