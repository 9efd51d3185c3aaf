#pragma once
// Finds the all-in-one on USB and keeps a button reader on it while it is attached.
//
// Start watches udev for devices with the watcher's identifiers, on the run loop of the
// calling thread (the main thread), and handles a device already attached at once. For each
// matched device the watcher marks the scanner status as no network scan, opens a
// HidButtonDevice, registers interest in the device and refreshes the device's panel through
// the scanner library. Every fifth time one of the device's interfaces is let go ("was
// closed", counted across detach and re-attach) the reader is closed and opened again; the
// device's removal discards the reader.
//
// One device at a time: a second matching device attached while one is held is ignored, and
// taken up as if it had just arrived when the held one goes (when several wait, the first in
// udev's order).
//
// The journal gets each device attached, passed over and removed, whether its buttons could be
// read, and why the watch could not start.

#include <cstdint>
#include <memory>
#include <string>

#include "monitor/usb/hid_button_device.hpp"
#include "platform/usb/usb_device_notifier.hpp"

namespace monitor {

class UsbDeviceWatcher {
public:
    using Timing = platform::usb::UsbDeviceNotifier::Timing;

    // Stores the identifiers; nothing is watched before Start. The notifier's waits (for a
    // device's node, for an interface "unbind" to count) are the real system's unless given.
    UsbDeviceWatcher(std::int32_t vendor, std::int32_t product, Timing timing = {});
    UsbDeviceWatcher(const UsbDeviceWatcher&) = delete;
    UsbDeviceWatcher& operator=(const UsbDeviceWatcher&) = delete;
    // Ends the watch and discards the reader; copes with a watcher that never started.
    ~UsbDeviceWatcher();

    // 0, or -1 when devices cannot be watched: no sysfs (/sys/bus missing, as in a view that
    // did not mount it), no udev monitor (no netlink socket, for one when the process has no
    // descriptor left), or identifiers outside 0 to 0xFFFF. No USB bus is no failure.
    std::int32_t Start();
    // Why the last Start returned -1, in words; empty when it did not.
    const std::string& StartFailure() const { return startFailure; }

    // Handles every device waiting in the iterator.
    void HandleMatchedDevices(platform::usb::UsbDeviceIterator& iterator);
    void HandleInterestMessage(const platform::usb::UsbDevice& service,
                               platform::usb::UsbInterestMessage messageType);

private:
    // The attach steps for each device nextDevice() yields, until it yields none; a device that
    // comes while one is held is passed over.
    template <class NextDevice>
    void HandleDevices(NextDevice nextDevice);
    // After the held device went: a matching device still attached, other than that one.
    void TakeUpAttachedDevice(const platform::usb::UsbDevice& gone);

    std::unique_ptr<platform::usb::UsbDeviceNotifier> notifyPort;
    platform::usb::UsbInterest interestNotification;
    std::int32_t vendorId;
    std::int32_t productId;
    Timing notifierTiming;
    std::unique_ptr<HidButtonDevice> buttonDevice;
    std::int32_t closedCount = 0;
    std::string startFailure;
};

}  // namespace monitor
