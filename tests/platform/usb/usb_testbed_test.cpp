// The umockdev test bed as sd-device and a hidraw reader see it. Runs under umockdev's preload
// library (see CMakeLists.txt).

#include "tests/support/usb_testbed.hpp"

#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-device.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/unique_fd.hpp"
#include "platform/usb/hid_element_tree.hpp"
#include "platform/usb/hid_event_queue.hpp"
#include "platform/usb/hid_report_descriptor.hpp"
#include "platform/usb/hid_report_splitter.hpp"
#include "tests/platform/usb/hid_test_descriptors.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using platform::UniqueFd;
using testing_support::HidDeviceSpec;
using testing_support::TestUsbDevice;
using testing_support::UsbTestbed;

template <class T, T* (*Unref)(T*)>
struct Unreffer {
    void operator()(T* p) const { Unref(p); }
};
using Enumerator = std::unique_ptr<sd_device_enumerator,
                                   Unreffer<sd_device_enumerator, sd_device_enumerator_unref>>;
using Event = std::unique_ptr<sd_event, Unreffer<sd_event, sd_event_unref>>;
using Monitor =
    std::unique_ptr<sd_device_monitor, Unreffer<sd_device_monitor, sd_device_monitor_unref>>;

std::string text_of(int (*get)(sd_device*, const char**), sd_device* device) {
    const char* value = nullptr;
    return get(device, &value) >= 0 && value ? value : "";
}

std::string property(sd_device* device, const char* key) {
    const char* value = nullptr;
    return sd_device_get_property_value(device, key, &value) >= 0 && value ? value : "";
}

std::vector<std::string> syspaths(sd_device_enumerator* enumerator) {
    std::vector<std::string> paths;
    for (sd_device* d = sd_device_enumerator_get_device_first(enumerator); d;
         d = sd_device_enumerator_get_device_next(enumerator)) {
        paths.push_back(text_of(sd_device_get_syspath, d));
    }
    return paths;
}

Enumerator matching_usb_devices(const char* vendor, const char* product) {
    sd_device_enumerator* raw = nullptr;
    EXPECT_GE(sd_device_enumerator_new(&raw), 0);
    Enumerator enumerator(raw);
    EXPECT_GE(sd_device_enumerator_add_match_subsystem(raw, "usb", 1), 0);
    EXPECT_GE(sd_device_enumerator_add_match_property(raw, "DEVTYPE", "usb_device"), 0);
    EXPECT_GE(sd_device_enumerator_add_match_sysattr(raw, "idVendor", vendor, 1), 0);
    EXPECT_GE(sd_device_enumerator_add_match_sysattr(raw, "idProduct", product, 1), 0);
    return enumerator;
}

HidDeviceSpec panel_spec() {
    HidDeviceSpec wanted;
    wanted.report_descriptor = hid_test::kVendorPanel;
    wanted.extra_interfaces = 1;
    return wanted;
}

TEST(UsbTestbed, EnumeratorFindsTheDeviceItsHidrawChildAndItsReportDescriptor) {
    UsbTestbed testbed;
    const TestUsbDevice panel = testbed.add_hid_device(panel_spec());
    HidDeviceSpec keyboard;
    keyboard.vendor_id = "046d";
    keyboard.product_id = "c31c";
    keyboard.report_descriptor = hid_test::kBootKeyboard;
    testbed.add_hid_device(keyboard);

    Enumerator usb = matching_usb_devices("1e33", "00b7");
    ASSERT_EQ(syspaths(usb.get()), std::vector<std::string>{panel.syspath});
    sd_device* device = sd_device_enumerator_get_device_first(usb.get());
    EXPECT_EQ(text_of(sd_device_get_devtype, device), "usb_device");
    EXPECT_EQ(text_of(sd_device_get_devname, device), "/dev/bus/usb/001/002");

    sd_device_enumerator* raw = nullptr;
    ASSERT_GE(sd_device_enumerator_new(&raw), 0);
    Enumerator children(raw);
    ASSERT_GE(sd_device_enumerator_add_match_parent(raw, device), 0);
    ASSERT_GE(sd_device_enumerator_add_match_subsystem(raw, "hidraw", 1), 0);
    ASSERT_EQ(syspaths(raw), std::vector<std::string>{panel.hidraw_syspath});
    sd_device* hidraw = sd_device_enumerator_get_device_first(raw);
    EXPECT_EQ(text_of(sd_device_get_devname, hidraw), panel.devnode);

    // The descriptor, through the hidraw node's "device" link as on a real system. It is read
    // as a file: sd_device_get_sysattr_value gives text up to the first zero byte.
    const std::string contents =
        testing_support::read_file(panel.hidraw_syspath + "/device/report_descriptor");
    const std::vector<std::uint8_t> descriptor(contents.begin(), contents.end());
    EXPECT_EQ(descriptor, hid_test::kVendorPanel);
    auto parsed = platform::usb::HidReportDescriptor::parse(descriptor);
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(
        platform::usb::build_hid_element_tree(*parsed).at(0).get("Elements").at(1).get("Usage"),
        platform::plist::Value::integer(167));

    // Its interfaces, with the HID one first.
    sd_device* interface = nullptr;
    ASSERT_GE(sd_device_new_from_syspath(&interface, panel.interfaces.at(1).c_str()), 0);
    EXPECT_EQ(text_of(sd_device_get_devtype, interface), "usb_interface");
    const char* klass = nullptr;
    EXPECT_GE(sd_device_get_sysattr_value(interface, "bInterfaceClass", &klass), 0);
    EXPECT_STREQ(klass, "ff");
    sd_device* parent = nullptr;
    ASSERT_GE(sd_device_get_parent_with_subsystem_devtype(interface, "usb", "usb_device", &parent),
              0);
    EXPECT_EQ(text_of(sd_device_get_syspath, parent), panel.syspath);
    sd_device_unref(interface);
}

struct Seen {
    std::string action;
    std::string subsystem;
    std::string syspath;
    std::string driver;
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& seen, std::ostream* out) {
    *out << seen.action << " " << seen.subsystem << " " << seen.syspath << " [" << seen.driver
         << "]";
}

class UeventRecorder {
public:
    explicit UeventRecorder(const char* subsystem) {
        sd_event* loop = nullptr;
        EXPECT_GE(sd_event_new(&loop), 0);
        loop_.reset(loop);
        sd_device_monitor* monitor = nullptr;
        EXPECT_GE(sd_device_monitor_new(&monitor), 0);
        monitor_.reset(monitor);
        if (subsystem) {
            EXPECT_GE(
                sd_device_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr),
                0);
        }
        EXPECT_GE(sd_device_monitor_attach_event(monitor, loop), 0);
        EXPECT_GE(sd_device_monitor_start(monitor, &UeventRecorder::on_device, this), 0);
    }

    // Runs the loop until `count` uevents came, or a second passed without one.
    const std::vector<Seen>& wait_for(std::size_t count) {
        while (seen_.size() < count && sd_event_run(loop_.get(), 1'000'000) > 0) {
        }
        return seen_;
    }

private:
    static int on_device(sd_device_monitor*, sd_device* device, void* self) {
        sd_device_action_t action{};
        sd_device_get_action(device, &action);
        const char* name = nullptr;
        device_action_to_string(action, &name);
        static_cast<UeventRecorder*>(self)->seen_.push_back(
            {name ? name : "?", text_of(sd_device_get_subsystem, device),
             text_of(sd_device_get_syspath, device), property(device, "DRIVER")});
        return 0;
    }

    static void device_action_to_string(sd_device_action_t action, const char** name) {
        static const char* const names[] = {"add",    "remove",  "change", "move",
                                            "online", "offline", "bind",   "unbind"};
        *name = action >= 0 && action < _SD_DEVICE_ACTION_MAX ? names[action] : nullptr;
    }

    Event loop_;
    Monitor monitor_;
    std::vector<Seen> seen_;
};

TEST(UsbTestbed, MonitorsReceivePlugAndUnplugUeventsInTheKernelsOrder) {
    UsbTestbed testbed;
    UeventRecorder usb("usb");
    UeventRecorder everything(nullptr);
    const TestUsbDevice panel = testbed.add_hid_device(panel_spec());
    const std::string& hid_interface = panel.interfaces[0];
    const std::string& vendor_interface = panel.interfaces[1];

    EXPECT_EQ(usb.wait_for(6), (std::vector<Seen>{
                                   {"add", "usb", panel.syspath, ""},
                                   {"add", "usb", hid_interface, ""},
                                   {"add", "usb", vendor_interface, ""},
                                   {"bind", "usb", hid_interface, "usbhid"},
                                   {"bind", "usb", vendor_interface, ""},
                                   {"bind", "usb", panel.syspath, "usb"},
                               }));
    const auto& all = everything.wait_for(9);
    ASSERT_EQ(all.size(), 9U);
    EXPECT_EQ(all[3], (Seen{"add", "hid", panel.hid_syspath, ""}));
    EXPECT_EQ(all[4], (Seen{"add", "hidraw", panel.hidraw_syspath, ""}));
    EXPECT_EQ(all[5], (Seen{"bind", "hid", panel.hid_syspath, "hid-generic"}));

    // A driver letting go of one interface while the device stays.
    testbed.uevent(vendor_interface, "unbind");
    EXPECT_EQ(usb.wait_for(7).back(), (Seen{"unbind", "usb", vendor_interface, ""}));

    testbed.unplug(panel);
    const auto& seen = usb.wait_for(13);
    EXPECT_EQ(std::vector<Seen>(seen.begin() + 7, seen.end()),
              (std::vector<Seen>{
                  {"unbind", "usb", hid_interface, ""},
                  {"remove", "usb", hid_interface, ""},
                  {"unbind", "usb", vendor_interface, ""},
                  {"remove", "usb", vendor_interface, ""},
                  {"unbind", "usb", panel.syspath, ""},
                  {"remove", "usb", panel.syspath, ""},
              }));
    const auto& total = everything.wait_for(19);
    ASSERT_EQ(total.size(), 19U);
    EXPECT_EQ(total[10], (Seen{"remove", "hidraw", panel.hidraw_syspath, ""}));
    EXPECT_EQ(total[11], (Seen{"unbind", "hid", panel.hid_syspath, ""}));
    EXPECT_TRUE(syspaths(matching_usb_devices("1e33", "00b7").get()).empty())
        << "gone from sysfs too";
    EXPECT_EQ(usb.wait_for(14).size(), 13U) << "nothing more came";
}

TEST(UsbTestbed, ADeviceCanComeWithoutHidrawNodeAndBindLater) {
    UsbTestbed testbed;
    UeventRecorder usb("usb");
    HidDeviceSpec wanted = panel_spec();
    wanted.hidraw = false;
    wanted.bind = false;
    const TestUsbDevice bare = testbed.add_hid_device(wanted);
    EXPECT_TRUE(bare.devnode.empty());
    EXPECT_EQ(usb.wait_for(3).size(), 3U) << "adds of the device and its two interfaces";
    EXPECT_EQ(usb.wait_for(4).size(), 3U) << "no binds yet";

    sd_device_enumerator* raw = nullptr;
    ASSERT_GE(sd_device_enumerator_new(&raw), 0);
    Enumerator hidraw_nodes(raw);
    ASSERT_GE(sd_device_enumerator_add_match_subsystem(raw, "hidraw", 1), 0);
    EXPECT_TRUE(syspaths(raw).empty());

    testbed.bind(bare);
    EXPECT_EQ(usb.wait_for(6).back(), (Seen{"bind", "usb", bare.syspath, "usb"}));
    testbed.unplug(bare);
    EXPECT_EQ(usb.wait_for(12).back(), (Seen{"remove", "usb", bare.syspath, ""}));
}

TEST(UsbTestbed, InputSentByTheTestbedIsReadFromTheHidrawNodeAsAByteStream) {
    UsbTestbed testbed;
    const TestUsbDevice panel = testbed.add_hid_device(panel_spec());
    UniqueFd node(::open(panel.devnode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(node.valid()) << panel.devnode << ": " << errno;

    std::uint8_t buffer[64];
    EXPECT_EQ(::read(node.get(), buffer, sizeof buffer), -1);
    EXPECT_EQ(errno, EAGAIN) << "an empty node does not block";

    // Two reports (button code 0x21, then 0x00 with parameter 5) and every byte value.
    testbed.send_input(panel, std::vector<std::uint8_t>{0x21, 0x00});
    testbed.send_input(panel, std::vector<std::uint8_t>{0x00, 0x05});
    pollfd readable{node.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 2000), 1);
    std::vector<std::uint8_t> stream;
    for (int tries = 0; stream.size() < 4 && tries < 100; ++tries) {
        const ssize_t n = ::read(node.get(), buffer, sizeof buffer);
        if (n > 0) stream.insert(stream.end(), buffer, buffer + n);
        if (n < 0) ::poll(&readable, 1, 20);
    }
    EXPECT_EQ(stream, (std::vector<std::uint8_t>{0x21, 0x00, 0x00, 0x05}));

    // Split into reports and queued as a reader would.
    auto descriptor = platform::usb::HidReportDescriptor::parse(hid_test::kVendorPanel);
    ASSERT_TRUE(descriptor.ok());
    platform::usb::HidReportSplitter splitter(*descriptor);
    platform::usb::HidEventQueue queue(*descriptor);
    queue.add_element(2);
    queue.add_element(3);
    splitter.feed(stream,
                  [&](std::span<const std::uint8_t> report) { queue.handle_report(report, 0); });
    std::vector<std::int32_t> values;
    while (auto event = queue.next_event()) values.push_back(event->value);
    EXPECT_EQ(values, (std::vector<std::int32_t>{0x21, 0, 5}));

    std::vector<std::uint8_t> all(256);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i);
    testbed.send_input(panel, all);
    std::vector<std::uint8_t> received;
    for (int tries = 0; received.size() < all.size() && tries < 100; ++tries) {
        const ssize_t n = ::read(node.get(), buffer, sizeof buffer);
        if (n > 0) received.insert(received.end(), buffer, buffer + n);
        if (n < 0) ::poll(&readable, 1, 20);
    }
    EXPECT_EQ(received, all) << "raw mode: no byte is taken as a control character";

    testbed.unplug(panel);
    EXPECT_FALSE(UniqueFd(::open(panel.devnode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)).valid());
    EXPECT_EQ(errno, ENOENT) << "the node went with the device";
}

}  // namespace
