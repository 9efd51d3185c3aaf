#include "platform/usb/hid_interface.hpp"

#include <utility>
#include <vector>

#include "platform/base/errno_text.hpp"
#include "platform/base/regular_file.hpp"
#include "platform/usb/hid_element_tree.hpp"
#include "platform/usb/sd_device_handles.hpp"

namespace platform::usb {

namespace {

// Read as a file, since sysfs attribute text ends at the descriptor's first zero byte. The
// hidraw device's "device" link leads to the hid device that holds it.
Result<std::vector<std::uint8_t>> read_report_descriptor(const std::string& hidraw_syspath) {
    const std::string path = hidraw_syspath + "/device/report_descriptor";
    const auto text = read_regular_file(path);
    if (!text) return text.error();
    if (text->empty()) return Error{"no report descriptor at " + path};
    return std::vector<std::uint8_t>(text->begin(), text->end());
}

}  // namespace

HidInterface::HidInterface(std::string syspath, std::string devnode, HidReportDescriptor descriptor)
    : syspath_(std::move(syspath)),
      devnode_(std::move(devnode)),
      descriptor_(std::move(descriptor)) {}

Result<HidInterface> HidInterface::find_below(const UsbDevice& device) {
    sd_device* parent = nullptr;
    int r = sd_device_new_from_syspath(&parent, device.syspath.c_str());
    if (r < 0) return Error{errno_text(device.syspath, -r)};
    const detail::DevicePtr owned_parent(parent);

    sd_device_enumerator* raw = nullptr;
    r = sd_device_enumerator_new(&raw);
    if (r < 0) return Error{errno_text("cannot enumerate devices", -r)};
    const detail::EnumeratorPtr enumerator(raw);
    if ((r = sd_device_enumerator_add_match_parent(raw, parent)) < 0 ||
        (r = sd_device_enumerator_add_match_subsystem(raw, "hidraw", 1)) < 0) {
        return Error{errno_text("cannot match hidraw devices", -r)};
    }
    sd_device* hidraw = sd_device_enumerator_get_device_first(raw);
    if (!hidraw) return Error{"no hidraw device below " + device.syspath};

    std::string syspath = detail::device_text(sd_device_get_syspath, hidraw);
    std::string devnode = detail::device_text(sd_device_get_devname, hidraw);
    if (devnode.empty()) return Error{"no device node for " + syspath};
    auto bytes = read_report_descriptor(syspath);
    if (!bytes) return bytes.error();
    auto descriptor = HidReportDescriptor::parse(*bytes);
    if (!descriptor) return Error{syspath + ": " + descriptor.error().message};
    return HidInterface(std::move(syspath), std::move(devnode), std::move(descriptor.value()));
}

plist::Value HidInterface::element_tree() const { return build_hid_element_tree(descriptor_); }

}  // namespace platform::usb
