#include "platform/usb/hid_device.hpp"

#include <fcntl.h>

#include <cerrno>
#include <utility>

#include "platform/base/errno_text.hpp"

namespace platform::usb {

HidDevice::HidDevice(UniqueFd fd, std::string devnode, HidReportDescriptor descriptor)
    : fd_(std::move(fd)), devnode_(std::move(devnode)), descriptor_(std::move(descriptor)) {}

Result<HidDevice> HidDevice::open(const HidInterface& interface) {
    UniqueFd fd(::open(interface.devnode().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return Error{errno_text(interface.devnode(), errno)};
    return HidDevice(std::move(fd), interface.devnode(), interface.descriptor());
}

}  // namespace platform::usb
