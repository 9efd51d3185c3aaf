#include "platform/usb/usb_device_notifier.hpp"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <list>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/errno_text.hpp"
#include "platform/runloop/run_loop.hpp"
#include "platform/usb/sd_device_handles.hpp"

namespace platform::usb {

namespace {

// The folder sd-device enumerates; sysfs always has it, a view without sysfs does not.
constexpr const char* kDeviceTree = "/sys/bus";

std::string parent_syspath(const std::string& syspath) {
    const auto slash = syspath.rfind('/');
    return slash == std::string::npos ? std::string() : syspath.substr(0, slash);
}

bool is_below(const std::string& syspath, const std::string& ancestor) {
    return syspath.size() > ancestor.size() && syspath.starts_with(ancestor) &&
           syspath[ancestor.size()] == '/';
}

bool has_hidraw_below(sd_device* device) {
    sd_device_enumerator* raw = nullptr;
    if (sd_device_enumerator_new(&raw) < 0) return false;
    const detail::EnumeratorPtr enumerator(raw);
    return sd_device_enumerator_add_match_parent(raw, device) >= 0 &&
           sd_device_enumerator_add_match_subsystem(raw, "hidraw", 1) >= 0 &&
           sd_device_enumerator_get_device_first(raw) != nullptr;
}

}  // namespace

std::optional<UsbDevice> UsbDeviceIterator::next() {
    if (devices_.empty()) return std::nullopt;
    UsbDevice device = std::move(devices_.front());
    devices_.pop_front();
    return device;
}

// The interests of one notifier and the interface "unbind" messages they hold back.
struct UsbInterest::Registry {
    struct Entry {
        std::uint64_t id = 0;
        UsbDevice device;
        UsbDeviceNotifier::InterestCallback callback;
        bool terminated = false;
    };
    struct Held {
        std::uint64_t token = 0;
        std::uint64_t interest = 0;
        std::string interface;
        runloop::Source timer;
    };

    Registry(runloop::RunLoop& run_loop, std::chrono::milliseconds hold)
        : loop(run_loop), unbind_hold(hold) {}

    Entry* find(std::uint64_t id) {
        auto it = std::find_if(entries.begin(), entries.end(),
                               [id](const Entry& entry) { return entry.id == id; });
        return it == entries.end() ? nullptr : &*it;
    }

    // Ids of the live interests in the device, taken before any callback changes the list.
    std::vector<std::uint64_t> live_interests(const std::string& syspath) const {
        std::vector<std::uint64_t> ids;
        for (const auto& entry : entries) {
            if (!entry.terminated && entry.device.syspath == syspath) ids.push_back(entry.id);
        }
        return ids;
    }

    void remove(std::uint64_t id) {
        std::erase_if(entries, [id](const Entry& entry) { return entry.id == id; });
        held.remove_if([id](const Held& message) { return message.interest == id; });
    }

    // Runs the interest's callback; the callback may release that interest or any other.
    void deliver(std::uint64_t id, UsbInterestMessage message) {
        Entry* entry = find(id);
        if (!entry || !entry->callback) return;
        const UsbDevice device = entry->device;
        auto callback = entry->callback;
        callback(device, message);
    }

    void interface_unbound(const std::string& interface) {
        for (const std::uint64_t id : live_interests(parent_syspath(interface))) {
            const std::uint64_t token = next_token++;
            auto timer = loop.add_timer(unbind_hold, [this, token] { release_held(token); });
            if (!timer) continue;
            held.push_back(Held{token, id, interface, std::move(timer.value())});
        }
    }

    void interface_removed(const std::string& interface) {
        held.remove_if([&](const Held& message) { return message.interface == interface; });
    }

    void release_held(std::uint64_t token) {
        auto it = std::find_if(held.begin(), held.end(),
                               [token](const Held& message) { return message.token == token; });
        if (it == held.end()) return;
        const std::uint64_t id = it->interest;
        held.erase(it);  // the timer that is calling us; its callback was copied to run
        deliver(id, UsbInterestMessage::ServiceWasClosed);
    }

    void device_removed(const std::string& syspath) {
        for (const std::uint64_t id : live_interests(syspath)) {
            Entry* entry = find(id);
            if (!entry) continue;
            entry->terminated = true;
            held.remove_if([id](const Held& message) { return message.interest == id; });
            deliver(id, UsbInterestMessage::ServiceIsTerminated);
        }
    }

    runloop::RunLoop& loop;
    std::chrono::milliseconds unbind_hold;
    std::vector<Entry> entries;
    std::list<Held> held;
    std::uint64_t next_id = 1;
    std::uint64_t next_token = 1;
};

UsbInterest::UsbInterest(std::weak_ptr<Registry> registry, std::uint64_t id) noexcept
    : registry_(std::move(registry)), id_(id) {}

UsbInterest::UsbInterest(UsbInterest&& other) noexcept
    : registry_(std::move(other.registry_)), id_(std::exchange(other.id_, 0)) {}

UsbInterest& UsbInterest::operator=(UsbInterest&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

UsbInterest::~UsbInterest() { reset(); }

void UsbInterest::reset() noexcept {
    if (id_ == 0) return;
    if (auto registry = registry_.lock()) registry->remove(id_);
    registry_.reset();
    id_ = 0;
}

// The udev monitor, attached to the sd-event object of the notifier's run loop, and the matching
// state of the devices it has seen. The run loop dispatches one uevent per turn, so a stop or a
// quit request is acted on between uevents however many are queued.
struct UsbDeviceNotifier::Monitor {
    detail::MonitorPtr monitor;
    runloop::Source source;          // the monitor's own source; disabled before the monitor goes
    std::set<std::string> attached;  // matched, not yet removed
    std::map<std::string, runloop::Source> waiting;  // bound, waiting for a hidraw node
};

UsbDeviceNotifier::UsbDeviceNotifier(const UsbDeviceMatch& match, MatchedCallback on_matched,
                                     Timing timing)
    : match_(match),
      on_matched_(std::move(on_matched)),
      timing_(timing),
      registry_(
          std::make_shared<UsbInterest::Registry>(runloop::RunLoop::current(), timing.unbind_hold)),
      monitor_(std::make_unique<Monitor>()) {}

UsbDeviceNotifier::~UsbDeviceNotifier() = default;

Result<std::unique_ptr<UsbDeviceNotifier>> UsbDeviceNotifier::start(const UsbDeviceMatch& match,
                                                                    MatchedCallback on_matched,
                                                                    Timing timing) {
    std::error_code error;
    if (!std::filesystem::is_directory(kDeviceTree, error)) {
        return Error{std::string("no device tree at ") + kDeviceTree + " (sysfs is not mounted)"};
    }
    auto& loop = runloop::RunLoop::current();
    auto event = loop.event();
    if (!event) return event.error();
    sd_device_monitor* monitor = nullptr;
    int r = sd_device_monitor_new(&monitor);
    if (r < 0) return Error{errno_text("cannot make a udev monitor", -r)};
    detail::MonitorPtr owned_monitor(monitor);

    std::unique_ptr<UsbDeviceNotifier> notifier(
        new UsbDeviceNotifier(match, std::move(on_matched), timing));
    Monitor& m = *notifier->monitor_;
    m.monitor = std::move(owned_monitor);
    if ((r = sd_device_monitor_filter_add_match_subsystem_devtype(monitor, "usb", nullptr)) < 0 ||
        (r = sd_device_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr)) <
            0 ||
        (r = sd_device_monitor_attach_event(monitor, *event)) < 0 ||
        (r = sd_device_monitor_start(monitor, &UsbDeviceNotifier::on_uevent, notifier.get())) < 0) {
        return Error{errno_text("cannot start the udev monitor", -r)};
    }
    m.source = loop.adopt(sd_device_monitor_get_event_source(monitor));

    auto present = find_usb_devices(match);
    if (!present) return present.error();
    for (auto& device : *present) {
        if (m.attached.insert(device.syspath).second) {
            notifier->matched_.devices_.push_back(std::move(device));
        }
    }
    return notifier;
}

Result<UsbInterest> UsbDeviceNotifier::add_interest(const UsbDevice& device,
                                                    InterestCallback callback) {
    sd_device* raw = nullptr;
    const int r = sd_device_new_from_syspath(&raw, device.syspath.c_str());
    if (r < 0) return Error{errno_text(device.syspath, -r)};
    sd_device_unref(raw);
    const std::uint64_t id = registry_->next_id++;
    registry_->entries.push_back(UsbInterest::Registry::Entry{id, device, std::move(callback)});
    return UsbInterest(registry_, id);
}

int UsbDeviceNotifier::on_uevent(sd_device_monitor*, sd_device* device, void* userdata) {
    auto& self = *static_cast<UsbDeviceNotifier*>(userdata);
    sd_device_action_t action{};
    if (sd_device_get_action(device, &action) < 0) return 0;
    const std::string subsystem = detail::device_text(sd_device_get_subsystem, device);
    const std::string devtype = detail::device_text(sd_device_get_devtype, device);
    const std::string syspath = detail::device_text(sd_device_get_syspath, device);
    if (subsystem == "hidraw") {
        if (action == SD_DEVICE_ADD) self.node_appeared(syspath);
    } else if (devtype == "usb_device") {
        if (action == SD_DEVICE_BIND) self.device_bound(device, syspath);
        if (action == SD_DEVICE_REMOVE) self.device_removed(syspath);
    } else if (devtype == "usb_interface") {
        if (action == SD_DEVICE_UNBIND) self.registry_->interface_unbound(syspath);
        if (action == SD_DEVICE_REMOVE) self.registry_->interface_removed(syspath);
    }
    return 0;
}

void UsbDeviceNotifier::device_bound(sd_device* device, const std::string& syspath) {
    Monitor& m = *monitor_;
    if (m.attached.contains(syspath) || m.waiting.contains(syspath)) return;
    if (detail::device_sysattr(device, "idVendor") != usb_id_text(match_.vendor_id) ||
        detail::device_sysattr(device, "idProduct") != usb_id_text(match_.product_id)) {
        return;
    }
    if (has_hidraw_below(device)) {
        matched(syspath);
        return;
    }
    auto timer =
        registry_->loop.add_timer(timing_.node_wait, [this, syspath] { matched(syspath); });
    if (!timer) {
        matched(syspath);
        return;
    }
    m.waiting.emplace(syspath, std::move(timer.value()));
}

void UsbDeviceNotifier::node_appeared(const std::string& node_syspath) {
    for (auto it = monitor_->waiting.begin(); it != monitor_->waiting.end(); ++it) {
        if (is_below(node_syspath, it->first)) {
            matched(std::string(it->first));
            return;
        }
    }
}

void UsbDeviceNotifier::device_removed(const std::string& syspath) {
    monitor_->waiting.erase(syspath);
    monitor_->attached.erase(syspath);
    registry_->device_removed(syspath);
}

void UsbDeviceNotifier::matched(std::string syspath) {
    // When a wait ends, this erases the timer that is calling; its callback was copied to run.
    monitor_->waiting.erase(syspath);
    if (!monitor_->attached.insert(syspath).second) return;
    matched_.devices_.push_back(UsbDevice{std::move(syspath)});
    if (on_matched_) {
        auto callback = on_matched_;
        callback(matched_);
    }
}

}  // namespace platform::usb
