#pragma once
// A umockdev test bed with USB HID devices: sysfs entries that sd-device enumerates, uevents
// that sd-device monitors receive, and /dev/hidrawN nodes to which the test sends input.
//
// It works only inside umockdev's preload library, which diverts /sys, /dev and the uevent
// netlink socket of the whole process into the test bed: register such tests with
//   PROPERTIES ENVIRONMENT_MODIFICATION "LD_PRELOAD=path_list_prepend:libumockdev-preload.so.0"
// (or run them under umockdev-wrapper). The constructor throws when the preload is missing.
//
// What umockdev gives, and what follows for code under test:
// - A /dev node is a pseudo-terminal in raw mode: every byte value passes unchanged, but input
//   arrives as a byte stream (two reports sent back to back can come out of one read, and a
//   read can end inside a report). Opening with O_NONBLOCK works, and an empty node reads
//   EAGAIN; poll and epoll see it readable when bytes are waiting.
// - /run/udev is not diverted, so sd-device finds no udev database entry for any device here.
//   Devices are therefore given no MAJOR/MINOR, which keeps sd-device's default enumerator
//   (initialized devices only, where devices without a device number always count) finding
//   them; their DEVNAME is set all the same.
// - Adding a device to umockdev sends its "add" uevent at once; removing one sends nothing,
//   so unplug() sends the "remove" uevents itself while the sysfs entries still exist.
// - uevents reach each listening socket as datagrams, and at most 11 can wait unread in one
//   monitor: umockdev aborts the test at the 12th. A device with up to 3 interfaces sends at
//   most 11 per add_hid_device() or unplug(); run the monitor's loop between such bursts.
// - Removing a device removes its sysfs folder and its /dev node, but a reader that has the
//   node open sees no hang-up: it learns of the unplug from the uevents only.
// - The test bed's threads take descriptors only when the test's process opens a path below /dev
//   (any, /dev/null too: the preload connects it to the test bed, whose thread accepts); what
//   GLib starts lazily is started by the constructor. So a test that uses up the process's
//   descriptors, and opens nothing below /dev meanwhile, takes them from the code it tests alone.

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

using UMockdevTestbed = struct _UMockdevTestbed;

namespace testing_support {

struct HidDeviceSpec {
    std::string vendor_id = "1e33";  // four hex digits, as sysfs shows them
    std::string product_id = "00b7";
    std::vector<std::uint8_t> report_descriptor;
    int extra_interfaces = 0;  // vendor-specific interfaces after the HID interface
    bool hidraw = true;        // false: a hid device without its hidraw node
    bool bind = true;          // false: leave the "bind" uevents to bind()
};

struct TestUsbDevice {
    std::string syspath;                  // the usb_device: /sys/devices/.../usb1/1-N
    std::vector<std::string> interfaces;  // usb_interface syspaths, the HID one first
    std::string hid_syspath;              // the hid device, which has report_descriptor
    std::string hidraw_syspath;           // empty without a hidraw node
    std::string devnode;                  // /dev/hidrawN, empty without a hidraw node
    int hidraw_number = -1;               // the N of the hidraw node it has or would get
};

class UsbTestbed {
public:
    UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;
    ~UsbTestbed();

    // Whether umockdev's preload library is active in this process.
    static bool preload_active();

    // Plugs a device in: its sysfs entries with the "add" uevents umockdev sends for each, in
    // the kernel's order (device, interfaces, hid, hidraw), then bind() unless the wanted says
    // otherwise. A device added before any monitor exists is one that was there at start-up.
    // Each device gets the next port (1-1, 1-2, ...) and the next hidraw number.
    TestUsbDevice add_hid_device(const HidDeviceSpec& wanted);

    // Gives a device made without its hidraw node (wanted.hidraw false) that node, with the node's
    // "add" uevent, as when the HID driver makes it late; fills in hidraw_syspath and devnode.
    void add_hidraw(TestUsbDevice& device);
    // The "bind" uevents of a plug-in, in the kernel's order: hid, interfaces, device. Each
    // carries the DRIVER property the kernel reports (hid-generic, usbhid, usb; none for the
    // vendor interfaces).
    void bind(const TestUsbDevice& device);
    // One uevent: "add", "remove", "bind", "unbind", "change". "bind" and "unbind" on the
    // devices of bind() set and clear their DRIVER property.
    void uevent(const std::string& syspath, const std::string& action);
    // The uevents of an unplug in the kernel's order (remove hidraw; unbind and remove hid;
    // unbind and remove each interface; unbind and remove the device), then removes it.
    void unplug(const TestUsbDevice& device);
    // Removes the device from sysfs and /dev without any uevent.
    void remove(const TestUsbDevice& device);

    // Input from the device: the bytes become readable on its hidraw node. Keep what is
    // unread below a few kilobytes (the pseudo-terminal's buffer).
    void send_input(const TestUsbDevice& device, std::span<const std::uint8_t> bytes);

    // The folder that stands for / (its sys/ and dev/).
    std::filesystem::path root() const;

private:
    void add_records(const std::string& records);
    void add_hidraw_records(TestUsbDevice& device);
    void set_driver(const std::string& syspath, const std::string& driver);

    UMockdevTestbed* testbed_ = nullptr;
    std::map<std::string, TestUsbDevice> devices_;  // by syspath
    int next_port_ = 1;
    int next_hidraw_ = 0;
};

}  // namespace testing_support
