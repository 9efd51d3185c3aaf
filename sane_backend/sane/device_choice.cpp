#include "sane_backend/sane/device_choice.hpp"

#include <fstream>
#include <string_view>
#include <system_error>

namespace sane_backend {

namespace {

std::optional<long> read_number(const std::filesystem::path& file, int base) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text)) return std::nullopt;
    try {
        std::size_t used = 0;
        const long value = std::stol(text, &used, base);
        if (used != text.size()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Whether the USB device at bus:device is the scanner, by its sysfs attributes.
bool is_scanner(const std::filesystem::path& sysfs_root, int bus, int device, UsbIdentity scanner) {
    std::error_code error;
    std::filesystem::directory_iterator entries(sysfs_root / "bus/usb/devices", error);
    if (error) return false;
    for (const auto& entry : entries) {
        const auto folder = entry.path();
        if (read_number(folder / "busnum", 10) != bus || read_number(folder / "devnum", 10) != device) {
            continue;
        }
        return read_number(folder / "idVendor", 16) == scanner.vendor &&
               read_number(folder / "idProduct", 16) == scanner.product;
    }
    return false;
}

}  // namespace

std::optional<std::pair<int, int>> usb_address(const std::string& device_name) {
    // "libusb:BBB:DDD" as a whole part of the colon-separated name.
    const auto three_digits = [&](std::size_t at) -> std::optional<int> {
        if (at + 3 > device_name.size()) return std::nullopt;
        int value = 0;
        for (std::size_t digit = at; digit < at + 3; ++digit) {
            if (device_name[digit] < '0' || device_name[digit] > '9') return std::nullopt;
            value = value * 10 + (device_name[digit] - '0');
        }
        return value;
    };
    constexpr std::string_view prefix = "libusb:";
    for (auto at = device_name.find(prefix); at != std::string::npos; at = device_name.find(prefix, at + 1)) {
        if (at != 0 && device_name[at - 1] != ':') continue;
        const std::size_t bus_at = at + prefix.size();
        const auto bus = three_digits(bus_at);
        const auto device = three_digits(bus_at + 4);
        const std::size_t end = bus_at + 7;
        if (bus && device && device_name[bus_at + 3] == ':' && (end == device_name.size() || device_name[end] == ':')) {
            return std::pair{*bus, *device};
        }
    }
    return std::nullopt;
}

std::string choose_device(const std::string& preferred, const std::vector<DeviceEntry>& listed, UsbIdentity scanner,
                          const std::filesystem::path& sysfs_root) {
    if (!preferred.empty()) return preferred;
    if (scanner.vendor >= 0 && scanner.product >= 0) {
        for (const auto& device : listed) {
            const auto address = usb_address(device.name);
            if (address && is_scanner(sysfs_root, address->first, address->second, scanner)) {
                return device.name;
            }
        }
    }
    return listed.empty() ? std::string() : listed.front().name;
}

}  // namespace sane_backend
