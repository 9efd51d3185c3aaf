#pragma once
// The HID interface of a USB device: the hidraw device below it, its /dev node and its report
// descriptor, from which the interface's element tree is built.

#include <string>

#include "platform/base/result.hpp"
#include "platform/plist/value.hpp"
#include "platform/usb/hid_report_descriptor.hpp"
#include "platform/usb/usb_device.hpp"

namespace platform::usb {

class HidInterface {
public:
    // The first hidraw device below the USB device (in udev's order). Fails when there is none,
    // or when its report descriptor cannot be read or parsed.
    static Result<HidInterface> find_below(const UsbDevice& device);

    const std::string& syspath() const { return syspath_; }
    const std::string& devnode() const { return devnode_; }  // /dev/hidrawN
    const HidReportDescriptor& descriptor() const { return descriptor_; }
    // A new tree on every call (see hid_element_tree.hpp).
    plist::Value element_tree() const;

private:
    HidInterface(std::string syspath, std::string devnode, HidReportDescriptor descriptor);

    std::string syspath_;
    std::string devnode_;
    HidReportDescriptor descriptor_;
};

}  // namespace platform::usb
