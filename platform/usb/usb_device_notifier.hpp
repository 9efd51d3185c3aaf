#pragma once
// Notifications about USB devices from udev, through sd-device: a device with the given
// identifiers was matched, and, for a device someone registered interest in, one of its
// interfaces was let go (was closed) or the device went away (was terminated).
//
// start() starts the udev monitor first and then enumerates the devices already attached, so
// that none is missed; a device seen both ways counts once (by sysfs path). Devices found at
// start wait in matched_devices() without a callback: the owner drains them itself. Later a
// device is matched once per attachment, when it is ready: when it is bound and the hidraw node
// below it has appeared, or, when no hidraw node comes, node_wait after it was bound (udev's
// "add" for a device comes before its interfaces and nodes exist). The matched callback runs
// with the new device waiting in matched_devices().
//
// "Was closed" is an "unbind" of one of the device's interfaces that is not part of the device
// going away. An unplug sends "unbind" for every interface just before it removes them and the
// device, so an interface's "unbind" is held for unbind_hold and dropped when that interface
// or the device is removed meanwhile. The device's own "unbind" is not a message. "Terminated"
// is the device's "remove"; an interest hears nothing after it.
//
// The waits are run-loop timers, which sd-event may fire up to a quarter second late.
//
// The notifier's sources are on the run loop of the thread that started it, and every callback
// runs there; use the notifier and its interests on that thread only. A callback may release
// interests and register new ones, but must not destroy the notifier.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/result.hpp"
#include "platform/usb/usb_device.hpp"

struct sd_device;
struct sd_device_monitor;

namespace platform::usb {

// Devices matched and not yet taken, oldest first.
class UsbDeviceIterator {
public:
    std::optional<UsbDevice> next();
    bool empty() const { return devices_.empty(); }

private:
    friend class UsbDeviceNotifier;
    std::deque<UsbDevice> devices_;
};

enum class UsbInterestMessage { ServiceWasClosed, ServiceIsTerminated };

// A registration of interest in one device. Destroying it (or reset()) ends the registration,
// also after the notifier is gone.
class UsbInterest {
public:
    UsbInterest() noexcept = default;
    UsbInterest(UsbInterest&& other) noexcept;
    UsbInterest& operator=(UsbInterest&& other) noexcept;
    UsbInterest(const UsbInterest&) = delete;
    UsbInterest& operator=(const UsbInterest&) = delete;
    ~UsbInterest();

    bool active() const noexcept { return id_ != 0; }
    void reset() noexcept;

private:
    friend class UsbDeviceNotifier;
    struct Registry;
    UsbInterest(std::weak_ptr<Registry> registry, std::uint64_t id) noexcept;

    std::weak_ptr<Registry> registry_;
    std::uint64_t id_ = 0;
};

class UsbDeviceNotifier {
public:
    struct Timing {
        std::chrono::milliseconds node_wait{2000};
        std::chrono::milliseconds unbind_hold{1000};
    };
    using MatchedCallback = std::function<void(UsbDeviceIterator& matched)>;
    using InterestCallback = std::function<void(const UsbDevice&, UsbInterestMessage)>;

    // Fails when the device tree is missing (no sysfs at /sys, as in a view that did not mount
    // it), when the udev monitor or the enumerator cannot be made or started (no netlink
    // socket, for example when the process has no file descriptor left), or when the calling
    // thread's run loop could not be made. With no USB bus, or no such device, it succeeds and
    // simply matches nothing.
    static Result<std::unique_ptr<UsbDeviceNotifier>> start(const UsbDeviceMatch& match,
                                                            MatchedCallback on_matched,
                                                            Timing timing);
    static Result<std::unique_ptr<UsbDeviceNotifier>> start(const UsbDeviceMatch& match,
                                                            MatchedCallback on_matched) {
        return start(match, std::move(on_matched), Timing{});
    }

    UsbDeviceNotifier(const UsbDeviceNotifier&) = delete;
    UsbDeviceNotifier& operator=(const UsbDeviceNotifier&) = delete;
    ~UsbDeviceNotifier();

    UsbDeviceIterator& matched_devices() { return matched_; }

    // Interest in any attached USB device. Fails when the device is no longer attached.
    Result<UsbInterest> add_interest(const UsbDevice& device, InterestCallback callback);

private:
    struct Monitor;
    UsbDeviceNotifier(const UsbDeviceMatch& match, MatchedCallback on_matched, Timing timing);

    static int on_uevent(sd_device_monitor* monitor, sd_device* device, void* userdata);
    void device_bound(sd_device* device, const std::string& syspath);
    void node_appeared(const std::string& node_syspath);
    void device_removed(const std::string& syspath);
    void matched(std::string syspath);

    UsbDeviceMatch match_;
    MatchedCallback on_matched_;
    Timing timing_;
    UsbDeviceIterator matched_;
    std::shared_ptr<UsbInterest::Registry> registry_;
    std::unique_ptr<Monitor> monitor_;
};

}  // namespace platform::usb
