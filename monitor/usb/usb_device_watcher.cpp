#include "monitor/usb/usb_device_watcher.hpp"

#include <optional>
#include <string>
#include <vector>

#include "monitor/core/monitor_report.hpp"
#include "monitor/core/scanner_prefs.hpp"
#include "monitor/core/service_status.hpp"
#include "monitor/scannerlib/scanner_library.hpp"
#include "monitor/usb/all_in_one_ids.hpp"
#include "platform/diagnostics/descriptors.hpp"
#include "platform/diagnostics/reporting.hpp"

namespace monitor {

namespace {

using platform::plist::Value;

// The reader is reopened on every fifth "was closed" message.
constexpr std::int32_t kClosesPerReopen = 5;

namespace diagnostics = platform::diagnostics;

constexpr std::string_view kButtonsNotOpened = "BUTTONS_NOT_OPENED";

bool IsTrue(const Value& value) { return value.as_boolean().value_or(false); }

diagnostics::Entry DeviceEntry(diagnostics::Priority priority, std::string message,
                               const char* event, const platform::usb::UsbDevice& device) {
    diagnostics::Entry entry{priority, std::move(message), {{report::kDevice, device.syspath}}};
    if (event) entry.fields.push_back({report::kEvent, event});
    return entry;
}

// Whether the reader of a device's panel buttons opened. Failing to open is a condition of the
// device, ended when a later open works or the device goes.
void ReportButtonsOpened(const platform::usb::UsbDevice& device, bool opened) {
    if (opened) {
        const bool wasClosed = diagnostics::end_condition(kButtonsNotOpened, device.syspath, [&] {
            return DeviceEntry(
                diagnostics::Priority::Notice,
                "the panel buttons of the all-in-one at " + device.syspath + " are read now",
                nullptr, device);
        });
        if (!wasClosed) {
            diagnostics::report(
                DeviceEntry(diagnostics::Priority::Info,
                            "reading the panel buttons of the all-in-one at " + device.syspath,
                            "BUTTONS_OPENED", device));
        }
    } else {
        diagnostics::begin_condition(kButtonsNotOpened, device.syspath, [&] {
            return DeviceEntry(diagnostics::Priority::Warning,
                               "cannot read the panel buttons of the all-in-one at " +
                                   device.syspath +
                                   " (no HID interface with the buttons, or its hidraw node may "
                                   "not be opened: see the udev rule); the buttons do nothing",
                               nullptr, device);
        });
    }
}

void RefreshPanel() {
    ScannerLibrary library;
    if (library.Open() == 0) library.SendDestinationList();
    library.Close();
}

}  // namespace

UsbDeviceWatcher::UsbDeviceWatcher(std::int32_t vendor, std::int32_t product, Timing timing)
    : vendorId(vendor), productId(product), notifierTiming(timing) {}

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
    if (vendorId < 0 || vendorId > 0xFFFF || productId < 0 || productId > 0xFFFF) {
        startFailure = "USB identifiers out of range";
        return -1;
    }
    const platform::usb::UsbDeviceMatch match{static_cast<std::uint16_t>(vendorId),
                                              static_cast<std::uint16_t>(productId)};
    auto started = platform::usb::UsbDeviceNotifier::start(
        match, [this](platform::usb::UsbDeviceIterator& matched) { HandleMatchedDevices(matched); },
        notifierTiming);
    if (!started) {
        startFailure = started.error().message;
        diagnostics::report(
            {diagnostics::Priority::Error,
             "cannot watch USB for the all-in-one (" + startFailure +
                 "); button-monitor ends and is started again by its unit",
             {{report::kEvent, "USB_WATCH_FAILED"}, {report::kReason, startFailure}}});
        return -1;
    }
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
        if (!notifyPort) continue;
        if (buttonDevice) {
            diagnostics::report(DeviceEntry(diagnostics::Priority::Notice,
                                            "another all-in-one is attached at " +
                                                service->syspath +
                                                "; its panel is served once the first one goes",
                                            "DEVICE_PASSED_OVER", *service));
            continue;
        }
        diagnostics::report(DeviceEntry(diagnostics::Priority::Info,
                                        "all-in-one attached at " + service->syspath,
                                        "DEVICE_ATTACHED", *service));
        SetScannerPref(IsNetworkScanning, Value::boolean(false));
        buttonDevice = std::make_unique<HidButtonDevice>(
            kAllInOneVendorId, kAllInOneProductId, kButtonCodeUsage, kButtonParameterUsage, 0);
        // A reader that did not open is kept; the fifth close retries.
        ReportButtonsOpened(*service, buttonDevice->Open() == 0);
        auto interest =
            notifyPort->add_interest(*service, [this](const platform::usb::UsbDevice& device,
                                                      platform::usb::UsbInterestMessage message) {
                HandleInterestMessage(device, message);
            });
        if (!interest) {
            diagnostics::report(DeviceEntry(diagnostics::Priority::Error,
                                            "cannot follow the all-in-one at " + service->syspath +
                                                " (" + interest.error().message +
                                                "); it is left alone",
                                            "DEVICE_NOT_FOLLOWED", *service));
            buttonDevice->Close();
            buttonDevice.reset();
            continue;
        }
        interestNotification = std::move(interest.value());
        MonitorStatus().NoteScannerAttached(true);
        RefreshPanel();
    }
    diagnostics::check_descriptors();

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
                ReportButtonsOpened(service, buttonDevice->Open() == 0);
            }
            break;
        case platform::usb::UsbInterestMessage::ServiceIsTerminated:
            interestNotification.reset();
            if (buttonDevice) {
                buttonDevice->Close();
                buttonDevice.reset();
            }
            diagnostics::end_condition(kButtonsNotOpened, service.syspath, [&] {
                return DeviceEntry(diagnostics::Priority::Info,
                                   "the all-in-one whose buttons could not be read is gone",
                                   nullptr, service);
            });
            diagnostics::report(DeviceEntry(diagnostics::Priority::Info,
                                            "all-in-one removed from " + service.syspath,
                                            "DEVICE_REMOVED", service));
            MonitorStatus().NoteScannerAttached(false);
            TakeUpAttachedDevice(service);
            break;
    }
}

}  // namespace monitor
