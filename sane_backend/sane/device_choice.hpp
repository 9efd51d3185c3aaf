#pragma once
// Which SANE device the data source scans with:
//   1. the device the backend's preferences name (SANEDevice), and no other;
//   2. else a device whose SANE name carries a USB address "libusb:BBB:DDD" of a USB device
//      whose sysfs idVendor and idProduct are the scanner's (the info dictionary's dKeyVID and
//      dKeyPID);
//   3. else the first device libsane lists.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sane_backend/sane/sane_session.hpp"

namespace sane_backend {

struct UsbIdentity {
    std::int32_t vendor = -1;
    std::int32_t product = -1;
};

// The bus and device numbers of a "libusb:BBB:DDD" part of a SANE device name.
std::optional<std::pair<int, int>> usb_address(const std::string& device_name);

// The device to open, or empty when there is none. sysfs_root is "/sys" on a running system.
std::string choose_device(const std::string& preferred, const std::vector<DeviceEntry>& listed, UsbIdentity scanner,
                          const std::filesystem::path& sysfs_root);

}  // namespace sane_backend
