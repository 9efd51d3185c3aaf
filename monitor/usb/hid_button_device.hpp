#pragma once
// The reader of the all-in-one's panel buttons: finds the HID interface below the USB device
// with the configured identifiers, looks up the element cookies of up to three configured
// usages in its element tree, and reads those elements through an event queue whose source is
// on the main run loop. When the queue has events, its callout runs the button dispatch
// (button_dispatch.hpp), which drains the queue into the three value slots with ReadEvents.
//
// Main thread only, like the queue it owns. Close asked for inside the queue's own callout (the
// dispatch reopens the reader for one button) is carried out, with an Open that follows it,
// once the callout has returned: a queue is not torn down while it is calling out.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/plist/value.hpp"
#include "platform/usb/hid_device.hpp"
#include "platform/usb/hid_device_queue.hpp"
#include "platform/usb/usb_device.hpp"

namespace monitor {

class HidButtonDevice {
public:
    // Stores the values; a usage of 0 marks a slot that is not configured.
    HidButtonDevice(std::int32_t vendor, std::int32_t product, std::int32_t usage1,
                    std::int32_t usage2, std::int32_t usage3);
    HidButtonDevice(const HidButtonDevice&) = delete;
    HidButtonDevice& operator=(const HidButtonDevice&) = delete;
    ~HidButtonDevice();  // Close

    // Opens the first matching device whose HID interface has a configured usage: 0, else -1.
    // Inside the queue's callout the open is deferred (see above) and 0 is answered.
    std::int32_t Open();
    // Closes the queue and the HID node; closing a closed reader does nothing. Cookies and
    // value slots are kept.
    void Close();
    // Takes every queued event into the value slots: 0, or -1 without a queue.
    std::int32_t ReadEvents();

    // Per slot, the last non-zero value byte the latest ReadEvents took; -1 at construction
    // and, after a read, for a slot that is not configured.
    const std::array<std::int32_t, 3>& values() const { return valueSlots; }
    // Per slot, the cookie found by the latest element search (0: not found).
    const std::array<std::uint32_t, 3>& cookies() const { return cookieSlots; }
    bool IsOpen() const { return isOpen; }

    // The element search over an element tree (arrays and dictionaries), depth first, a
    // dictionary before its "Elements"; the element visited last wins a slot.
    void FindElements(const platform::plist::Value& object);

private:
    std::int32_t OpenService(const platform::usb::UsbDevice& service);
    std::int32_t AddElementsToQueue();
    void CloseQueue();
    void QueueCallout();
    void DeferUntilCalloutReturned();
    void RunDeferredSteps();

    std::int32_t vendorId;
    std::int32_t productId;
    std::array<std::int32_t, 3> valueSlots{-1, -1, -1};
    std::array<std::uint32_t, 3> usages;
    std::optional<platform::usb::HidDevice> deviceInterface;  // the open HID node
    std::optional<platform::usb::HidDeviceQueue> queue;
    std::array<std::uint32_t, 3> cookieSlots{};
    bool isOpen = false;

    // Close and Open asked for inside the callout, carried out after it returned.
    bool inCallout = false;
    bool closeDeferred = false;
    bool openDeferred = false;
    // Tells the deferred steps, which run later, whether the reader still exists.
    std::shared_ptr<HidButtonDevice*> aliveToken;
};

}  // namespace monitor
