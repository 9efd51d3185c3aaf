#pragma once
// An open HID interface: its hidraw node, open for reading without blocking, shared with any
// other program that opens it (hidraw has no exclusive open). Who may open the node is up to
// udev's rules: a desktop user needs the "uaccess" tag on the node (see the README).

#include <string>

#include "platform/base/result.hpp"
#include "platform/base/unique_fd.hpp"
#include "platform/usb/hid_interface.hpp"
#include "platform/usb/hid_report_descriptor.hpp"

namespace platform::usb {

class HidDevice {
public:
    // Fails when the node is missing or may not be opened; the message has the system's reason.
    static Result<HidDevice> open(const HidInterface& interface);

    int fd() const { return fd_.get(); }
    const std::string& devnode() const { return devnode_; }
    const HidReportDescriptor& descriptor() const { return descriptor_; }

private:
    HidDevice(UniqueFd fd, std::string devnode, HidReportDescriptor descriptor);

    UniqueFd fd_;
    std::string devnode_;
    HidReportDescriptor descriptor_;
};

}  // namespace platform::usb
