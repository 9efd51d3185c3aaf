#include "platform/usb/hid_device.hpp"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "platform/base/errno_text.hpp"

namespace platform::usb {

namespace {

// See HidDevice::reads_whole_reports. When the node cannot even be looked at, it is cut as a
// stream, which does no harm to reports of the right length.
bool ReadsWholeReports(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return false;
    if (!S_ISCHR(status.st_mode)) return true;
    int size = 0;
    return ::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0;
}

}  // namespace

HidDevice::HidDevice(UniqueFd fd, std::string devnode, HidReportDescriptor descriptor)
    : fd_(std::move(fd)),
      devnode_(std::move(devnode)),
      descriptor_(std::move(descriptor)),
      whole_reports_(ReadsWholeReports(fd_.get())) {}

Result<HidDevice> HidDevice::open(const HidInterface& interface) {
    UniqueFd fd(::open(interface.devnode().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return Error{errno_text(interface.devnode(), errno)};
    return HidDevice(std::move(fd), interface.devnode(), interface.descriptor());
}

HidDevice HidDevice::from_open_node(UniqueFd fd, std::string name, HidReportDescriptor descriptor) {
    return HidDevice(std::move(fd), std::move(name), std::move(descriptor));
}

}  // namespace platform::usb
