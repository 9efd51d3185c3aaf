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
    // A node the caller has open, taken over, with the descriptor of its reports; the name
    // stands for its /dev path in messages. Tests stand a pipe in for a hidraw node this way.
    static HidDevice from_open_node(UniqueFd fd, std::string name, HidReportDescriptor descriptor);

    int fd() const { return fd_.get(); }
    const std::string& devnode() const { return devnode_; }
    const HidReportDescriptor& descriptor() const { return descriptor_; }

    // Whether each read of the node returns one whole report, as a hidraw node does, so that a
    // report of the wrong length stays alone; otherwise the node delivers a byte stream, to be
    // cut into reports by their lengths. A hidraw node answers hidraw's HIDIOCGRDESCSIZE
    // request. The nodes umockdev emulates are pseudo-terminals: character devices that do
    // not answer it, and deliver a stream. A node that is no character device at all is taken
    // to return what one write put in: a pipe in packet mode (O_DIRECT), which tests stand in
    // for a hidraw node, does.
    bool reads_whole_reports() const { return whole_reports_; }

private:
    HidDevice(UniqueFd fd, std::string devnode, HidReportDescriptor descriptor);

    UniqueFd fd_;
    std::string devnode_;
    HidReportDescriptor descriptor_;
    bool whole_reports_ = false;
};

}  // namespace platform::usb
