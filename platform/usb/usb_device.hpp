#pragma once
// USB devices as udev knows them: a device of subsystem "usb" and type "usb_device", named by
// its sysfs path, matched on the "idVendor" and "idProduct" attributes (four hex digits).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/result.hpp"

namespace platform::usb {

struct UsbDeviceMatch {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
};

// A handle on one attached device: its sysfs path (/sys/devices/.../usb1/1-2), which stays the
// same while it is attached.
struct UsbDevice {
    std::string syspath;
    friend bool operator==(const UsbDevice&, const UsbDevice&) = default;
};

// An identifier as sysfs writes it: 7731 is "1e33", 183 is "00b7".
std::string usb_id_text(std::uint16_t id);

// The attached devices with those identifiers, in udev's enumeration order. Fails only when udev
// cannot be asked; no device is an empty list.
Result<std::vector<UsbDevice>> find_usb_devices(const UsbDeviceMatch& match);

}  // namespace platform::usb
