#include "platform/usb/usb_device.hpp"

#include "platform/base/errno_text.hpp"
#include "platform/usb/sd_device_handles.hpp"

namespace platform::usb {

std::string usb_id_text(std::uint16_t id) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[id & 0xF];
        id = static_cast<std::uint16_t>(id >> 4);
    }
    return text;
}

Result<std::vector<UsbDevice>> find_usb_devices(const UsbDeviceMatch& match) {
    sd_device_enumerator* raw = nullptr;
    int r = sd_device_enumerator_new(&raw);
    if (r < 0) return Error{errno_text("cannot enumerate devices", -r)};
    const detail::EnumeratorPtr enumerator(raw);
    const std::string vendor = usb_id_text(match.vendor_id);
    const std::string product = usb_id_text(match.product_id);
    if ((r = sd_device_enumerator_add_match_subsystem(raw, "usb", 1)) < 0 ||
        (r = sd_device_enumerator_add_match_property(raw, "DEVTYPE", "usb_device")) < 0 ||
        (r = sd_device_enumerator_add_match_sysattr(raw, "idVendor", vendor.c_str(), 1)) < 0 ||
        (r = sd_device_enumerator_add_match_sysattr(raw, "idProduct", product.c_str(), 1)) < 0) {
        return Error{errno_text("cannot match devices", -r)};
    }
    std::vector<UsbDevice> devices;
    for (sd_device* device = sd_device_enumerator_get_device_first(raw); device;
         device = sd_device_enumerator_get_device_next(raw)) {
        devices.push_back(UsbDevice{detail::device_text(sd_device_get_syspath, device)});
    }
    return devices;
}

}  // namespace platform::usb
