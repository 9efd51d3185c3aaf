#include "monitor/usb/hid_button_device.hpp"

#include <utility>

#include "monitor/usb/button_dispatch.hpp"
#include "platform/runloop/run_loop.hpp"
#include "platform/usb/hid_interface.hpp"

namespace monitor {

namespace {

using platform::plist::Type;
using platform::plist::Value;

constexpr std::size_t kQueueDepth = 8;

// A number of the element tree as a signed 32-bit integer; anything else is not one.
std::optional<std::int32_t> NumberValue(const Value& value) {
    if (!value.is(Type::Integer) && !value.is(Type::Real)) return std::nullopt;
    return value.to_int32();
}

std::optional<platform::usb::UsbDeviceMatch> MatchFor(std::int32_t vendor, std::int32_t product) {
    if (vendor < 0 || vendor > 0xFFFF || product < 0 || product > 0xFFFF) return std::nullopt;
    return platform::usb::UsbDeviceMatch{static_cast<std::uint16_t>(vendor),
                                         static_cast<std::uint16_t>(product)};
}

}  // namespace

HidButtonDevice::HidButtonDevice(std::int32_t vendor, std::int32_t product, std::int32_t usage1,
                                 std::int32_t usage2, std::int32_t usage3)
    : vendorId(vendor),
      productId(product),
      usages{static_cast<std::uint32_t>(usage1), static_cast<std::uint32_t>(usage2),
             static_cast<std::uint32_t>(usage3)} {}

HidButtonDevice::~HidButtonDevice() {
    inCallout = false;
    Close();
}

std::int32_t HidButtonDevice::Open() {
    if (inCallout) {
        if (!closeDeferred && !openDeferred) DeferUntilCalloutReturned();
        openDeferred = true;
        return 0;
    }
    isOpen = true;
    if (const auto match = MatchFor(vendorId, productId)) {
        if (auto services = platform::usb::find_usb_devices(*match)) {
            for (const auto& service : *services) {
                if (OpenService(service) == 0) return 0;
            }
        }
    }
    isOpen = false;
    return -1;
}

std::int32_t HidButtonDevice::OpenService(const platform::usb::UsbDevice& service) {
    auto interface = platform::usb::HidInterface::find_below(service);
    if (!interface) return -1;
    // The cookies describe the interface being opened, never one searched earlier.
    cookieSlots = {};
    FindElements(interface->element_tree());
    if (cookieSlots == std::array<std::uint32_t, 3>{}) return -1;

    auto device = platform::usb::HidDevice::open(*interface);
    if (!device) return -1;
    deviceInterface = std::move(device.value());
    auto created = platform::usb::HidDeviceQueue::create(*deviceInterface, kQueueDepth);
    if (!created) return -1;
    queue = std::move(created.value());
    AddElementsToQueue();
    queue->set_callout([this] { QueueCallout(); });
    if (!queue->start()) {
        CloseQueue();
        return -1;
    }
    return 0;
}

void HidButtonDevice::FindElements(const Value& object) {
    if (object.is(Type::Dictionary)) {
        if (object.contains("Size") && object.contains("ElementCookie") &&
            object.contains("Usage")) {
            const auto usage = NumberValue(object.get("Usage"));
            const auto cookie = NumberValue(object.get("ElementCookie"));
            if (usage && cookie) {
                for (std::size_t slot = 0; slot < usages.size(); ++slot) {
                    if (usages[slot] != 0 && usages[slot] == static_cast<std::uint32_t>(*usage)) {
                        cookieSlots[slot] = static_cast<std::uint32_t>(*cookie);
                    }
                }
            }
        }
        if (object.contains("Elements")) FindElements(object.get("Elements"));
    } else if (object.is(Type::Array)) {
        for (const Value& item : object.items()) FindElements(item);
    }
}

std::int32_t HidButtonDevice::AddElementsToQueue() {
    if (usages[0] == 0) return -1;
    queue->add_element(cookieSlots[0]);
    if (usages[1] != 0) queue->add_element(cookieSlots[1]);
    if (usages[2] != 0) queue->add_element(cookieSlots[2]);
    return 0;
}

std::int32_t HidButtonDevice::ReadEvents() {
    valueSlots = {0, usages[1] != 0 ? 0 : -1, usages[2] != 0 ? 0 : -1};
    if (!queue) return -1;
    while (const auto event = queue->next_event()) {
        for (std::size_t slot = 0; slot < cookieSlots.size(); ++slot) {
            if (event->cookie != cookieSlots[slot]) continue;
            const auto byte = static_cast<std::int32_t>(event->value & 0xFF);
            if (byte != 0) valueSlots[slot] = byte;
            break;
        }
    }
    return 0;
}

void HidButtonDevice::CloseQueue() {
    if (!queue) return;
    queue->stop();
    queue.reset();
}

void HidButtonDevice::Close() {
    if (inCallout) {
        if (!closeDeferred && !openDeferred) DeferUntilCalloutReturned();
        closeDeferred = true;
        return;
    }
    CloseQueue();
    deviceInterface.reset();
    isOpen = false;
}

void HidButtonDevice::QueueCallout() {
    inCallout = true;
    DispatchButtonEvents(*this);
    inCallout = false;
}

void HidButtonDevice::DeferUntilCalloutReturned() {
    if (!aliveToken) aliveToken = std::make_shared<HidButtonDevice*>(this);
    platform::runloop::RunLoop::main().post([alive = std::weak_ptr<HidButtonDevice*>(aliveToken)] {
        if (const auto reader = alive.lock()) (*reader)->RunDeferredSteps();
    });
}

void HidButtonDevice::RunDeferredSteps() {
    if (std::exchange(closeDeferred, false)) Close();
    if (std::exchange(openDeferred, false)) Open();
}

}  // namespace monitor
