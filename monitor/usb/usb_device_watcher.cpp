#include "monitor/usb/usb_device_watcher.hpp"

#include <optional>
#include <vector>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/scannerlib/scanner_library.hpp"
#include "monitor/usb/all_in_one_ids.hpp"

namespace monitor {

namespace {

using platform::plist::Value;

// The reader is reopened on every fifth "was closed" message.
constexpr std::int32_t kClosesPerReopen = 5;

bool IsTrue(const Value& value) { return value.as_boolean().value_or(false); }

void RefreshPanel() {
    ScannerLibrary library;
    if (library.Open() == 0) library.SendDestinationList();
    library.Close();
}

}  // namespace

UsbDeviceWatcher::UsbDeviceWatcher(std::int32_t vendor, std::int32_t product)
    : vendorId(vendor), productId(product) {}

UsbDeviceWatcher::~UsbDeviceWatcher() {
    notifyPort.reset();
    interestNotification.reset();
    if (buttonDevice) {
        buttonDevice->Close();
        buttonDevice.reset();
    }
    closedCount = 0;
}

std::int32_t UsbDeviceWatcher::Start() {
    if (vendorId < 0 || vendorId > 0xFFFF || productId < 0 || productId > 0xFFFF) return -1;
    const platform::usb::UsbDeviceMatch match{static_cast<std::uint16_t>(vendorId),
                                              static_cast<std::uint16_t>(productId)};
    auto started = platform::usb::UsbDeviceNotifier::start(
        match, [this](platform::usb::UsbDeviceIterator& matched) { HandleMatchedDevices(matched); });
    if (!started) return -1;
    notifyPort = std::move(started.value());
    // The devices attached before the watch began.
    HandleMatchedDevices(notifyPort->matched_devices());
    return 0;
}

void UsbDeviceWatcher::HandleMatchedDevices(platform::usb::UsbDeviceIterator& iterator) {
    HandleDevices([&iterator] { return iterator.next(); });
}

template <class NextDevice>
void UsbDeviceWatcher::HandleDevices(NextDevice nextDevice) {
    const Value previousNetwork = CopyScannerPref(IsNetworkScanning);
    const Value previousScanning = CopyScannerPref(IsCurrentlyScanning);

    while (const std::optional<platform::usb::UsbDevice> service = nextDevice()) {
        // The watcher holds one reader: taking a second device would orphan the first. The
        // second is taken up when the first goes (TakeUpAttachedDevice).
        if (buttonDevice || !notifyPort) continue;
        SetScannerPref(IsNetworkScanning, Value::boolean(false));
        buttonDevice = std::make_unique<HidButtonDevice>(kAllInOneVendorId, kAllInOneProductId,
                                                         kButtonCodeUsage, kButtonParameterUsage,
                                                         0);
        buttonDevice->Open();  // a reader that did not open is kept; the fifth close retries
        auto interest = notifyPort->add_interest(
            *service, [this](const platform::usb::UsbDevice& device,
                             platform::usb::UsbInterestMessage message) {
                HandleInterestMessage(device, message);
            });
        if (!interest) {
            buttonDevice->Close();
            buttonDevice.reset();
            continue;
        }
        interestNotification = std::move(interest.value());
        RefreshPanel();
    }

    if (IsTrue(previousScanning)) SetScannerPref(IsNetworkScanning, previousNetwork);
}

void UsbDeviceWatcher::TakeUpAttachedDevice(const platform::usb::UsbDevice& gone) {
    auto attached = platform::usb::find_usb_devices(
        {static_cast<std::uint16_t>(vendorId), static_cast<std::uint16_t>(productId)});
    if (!attached) return;
    std::erase(*attached, gone);
    if (attached->empty()) return;
    auto next = attached->begin();
    HandleDevices([&]() -> std::optional<platform::usb::UsbDevice> {
        if (next == attached->end()) return std::nullopt;
        return *next++;
    });
}

void UsbDeviceWatcher::HandleInterestMessage(const platform::usb::UsbDevice& service,
                                             platform::usb::UsbInterestMessage messageType) {
    switch (messageType) {
        case platform::usb::UsbInterestMessage::ServiceWasClosed:
            if (++closedCount < kClosesPerReopen) break;
            closedCount = 0;
            if (buttonDevice) {
                buttonDevice->Close();
                buttonDevice->Open();
            }
            break;
        case platform::usb::UsbInterestMessage::ServiceIsTerminated:
            interestNotification.reset();
            if (buttonDevice) {
                buttonDevice->Close();
                buttonDevice.reset();
            }
            TakeUpAttachedDevice(service);
            break;
    }
}

}  // namespace monitor
