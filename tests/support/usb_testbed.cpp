#include "tests/support/usb_testbed.hpp"

#include <gio/gio.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <iterator>
#include <stdexcept>

#include "tests/support/temp_dir.hpp"

namespace testing_support {

namespace {

constexpr const char* kHostController = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr int kHidrawMajor = 240;
constexpr int kUsbDeviceMajor = 189;

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

// The number in base 10 or 16 (lower case), filled on the left up to the width.
std::string padded(int value, std::size_t width, char fill = '0', int base = 10) {
    char digits[16];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value, base).ptr;
    std::string text(digits, end);
    return std::string(width > text.size() ? width - text.size() : 0, fill) + text;
}

// "1e33" -> "1e33", "00b7" -> "b7", as the kernel writes PRODUCT.
std::string short_hex(const std::string& id) {
    const auto first = id.find_first_not_of('0');
    return first == std::string::npos ? "0" : id.substr(first);
}

// The driver the kernel binds to each kind of device here.
std::string driver_for(const std::string& syspath, const TestUsbDevice& device) {
    if (syspath == device.syspath) return "usb";
    if (syspath == device.hid_syspath) return "hid-generic";
    return syspath == device.interfaces.front() ? "usbhid" : "";
}

// umockdev's worker thread makes a GTask as it starts serving, and the first GTask of a process
// starts GLib's own worker (a main context with its eventfd, and a thread) whenever that thread
// gets there. Started here, on the test's thread, before the test bed exists.
UMockdevTestbed* new_testbed() {
    static const gpointer task_class = g_type_class_ref(G_TYPE_TASK);
    (void)task_class;
    return umockdev_testbed_new();
}

}  // namespace

UsbTestbed::UsbTestbed() : testbed_(new_testbed()) {
    if (!preload_active()) {
        g_object_unref(testbed_);
        throw std::runtime_error(
            "UsbTestbed needs umockdev's preload library: run the test with "
            "LD_PRELOAD=libumockdev-preload.so.0 or under umockdev-wrapper");
    }
}

UsbTestbed::~UsbTestbed() { g_object_unref(testbed_); }

bool UsbTestbed::preload_active() { return umockdev_in_mock_environment() != FALSE; }

std::filesystem::path UsbTestbed::root() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::filesystem::path path(dir);
    g_free(dir);
    return path;
}

TestUsbDevice UsbTestbed::add_hid_device(const HidDeviceSpec& wanted) {
    const int port = next_port_++;
    const int hidraw = next_hidraw_++;
    const int devnum = port + 1;  // the root hub is 1
    const std::string name = "1-" + std::to_string(port);
    const std::string product =
        short_hex(wanted.vendor_id) + "/" + short_hex(wanted.product_id) + "/0";
    const std::string usb = std::string(kHostController) + "/" + name;
    const std::string hid_name = "0003:" + upper(wanted.vendor_id) + ":" +
                                 upper(wanted.product_id) + "." +
                                 upper(padded(hidraw + 1, 4, '0', 16));
    const int interface_count = 1 + wanted.extra_interfaces;

    std::string record =
        "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/001/" +
        padded(devnum, 3) + "\nE: PRODUCT=" + product + "\nE: TYPE=0/0/0\nE: BUSNUM=001" +
        "\nE: DEVNUM=" + padded(devnum, 3) + "\nA: idVendor=" + wanted.vendor_id +
        "\nA: idProduct=" + wanted.product_id +
        "\nA: busnum=1\nA: devnum=" + std::to_string(devnum) +
        "\nA: bNumInterfaces=" + padded(interface_count, 2, ' ') + "\nA: bDeviceClass=00" +
        "\nA: dev=" + std::to_string(kUsbDeviceMajor) + ":" + std::to_string(devnum - 1) + "\n\n";
    TestUsbDevice device;
    device.syspath = "/sys" + usb;
    for (int i = 0; i < interface_count; ++i) {
        const bool hid = i == 0;
        const std::string path = usb + "/" + name + ":1." + std::to_string(i);
        record += "P: " + path +
                  "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: PRODUCT=" + product +
                  "\nE: TYPE=0/0/0\nE: INTERFACE=" + (hid ? "3/0/0" : "255/0/0") +
                  "\nA: bInterfaceNumber=" + padded(i, 2, '0', 16) +
                  "\nA: bInterfaceClass=" + (hid ? "03" : "ff") +
                  "\nA: bInterfaceSubClass=00\nA: bInterfaceProtocol=00\n\n";
        device.interfaces.push_back("/sys" + path);
    }
    const std::string hid = usb + "/" + name + ":1.0/" + hid_name;
    record += "P: " + hid + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:0000" + upper(wanted.vendor_id) +
              ":0000" + upper(wanted.product_id) + "\nE: HID_NAME=Test HID device\n\n";

    add_records(record);
    device.hid_syspath = "/sys" + hid;
    // Written before the hidraw node appears, as the kernel has it; any bytes, none included.
    std::vector<std::uint8_t> descriptor = wanted.report_descriptor;
    umockdev_testbed_set_attribute_binary(testbed_, device.hid_syspath.c_str(), "report_descriptor",
                                          descriptor.data(), static_cast<gint>(descriptor.size()));
    device.hidraw_number = hidraw;
    if (wanted.hidraw) add_hidraw_records(device);
    devices_[device.syspath] = device;
    if (wanted.bind) bind(device);
    return device;
}

void UsbTestbed::add_hidraw_records(TestUsbDevice& device) {
    const std::string hid = device.hid_syspath.substr(4);  // without "/sys"
    const std::string hid_name = hid.substr(hid.rfind('/') + 1);
    const std::string node = "hidraw" + std::to_string(device.hidraw_number);
    const std::string raw = hid + "/hidraw/" + node;
    add_records("P: " + raw + "\nN: " + node + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" + node +
                "\nA: dev=" + std::to_string(kHidrawMajor) + ":" +
                std::to_string(device.hidraw_number) + "\nL: device=../../../" + hid_name + "\n\n");
    device.hidraw_syspath = "/sys" + raw;
    device.devnode = "/dev/" + node;
}

void UsbTestbed::add_hidraw(TestUsbDevice& device) {
    if (!device.hidraw_syspath.empty()) throw std::logic_error("the device has its hidraw node");
    add_hidraw_records(device);
    devices_[device.syspath] = device;
}

void UsbTestbed::uevent(const std::string& syspath, const std::string& action) {
    if (action == "bind" || action == "unbind") {
        for (const auto& [path, device] : devices_) {
            const bool below = syspath == path || syspath.rfind(path + "/", 0) == 0;
            if (!below) continue;
            const std::string driver = driver_for(syspath, device);
            if (!driver.empty()) set_driver(syspath, action == "bind" ? driver : "");
        }
    }
    umockdev_testbed_uevent(testbed_, syspath.c_str(), action.c_str());
}

// The kernel reports DRIVER in the uevents of a bound device; umockdev sends the properties of
// the device's uevent file, so the line is put there or taken out.
void UsbTestbed::set_driver(const std::string& syspath, const std::string& driver) {
    const std::filesystem::path file = root() / syspath.substr(1) / "uevent";
    std::string kept;
    for (const auto& line : split_lines(read_file(file))) {
        if (line.rfind("DRIVER=", 0) != 0) kept += line + "\n";
    }
    if (!driver.empty()) kept += "DRIVER=" + driver + "\n";
    write_file(file, kept);
}

void UsbTestbed::add_records(const std::string& records) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, records.c_str(), &error)) {
        const std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("umockdev refused the device: " + message);
    }
}

void UsbTestbed::bind(const TestUsbDevice& device) {
    uevent(device.hid_syspath, "bind");
    for (const auto& interface : device.interfaces) uevent(interface, "bind");
    uevent(device.syspath, "bind");
}

void UsbTestbed::unplug(const TestUsbDevice& device) {
    if (!device.hidraw_syspath.empty()) uevent(device.hidraw_syspath, "remove");
    uevent(device.hid_syspath, "unbind");
    uevent(device.hid_syspath, "remove");
    for (const auto& interface : device.interfaces) {
        uevent(interface, "unbind");
        uevent(interface, "remove");
    }
    uevent(device.syspath, "unbind");
    uevent(device.syspath, "remove");
    remove(device);
}

void UsbTestbed::remove(const TestUsbDevice& device) {
    // umockdev removes the /dev node of the device it is told to remove, not those below it.
    if (!device.hidraw_syspath.empty()) {
        umockdev_testbed_remove_device(testbed_, device.hidraw_syspath.c_str());
    }
    umockdev_testbed_remove_device(testbed_, device.syspath.c_str());
    devices_.erase(device.syspath);
}

void UsbTestbed::send_input(const TestUsbDevice& device, std::span<const std::uint8_t> bytes) {
    const int fd = umockdev_testbed_get_dev_fd(testbed_, device.devnode.c_str());
    if (fd < 0) throw std::runtime_error("no emulated node " + device.devnode);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw std::runtime_error("cannot write to " + device.devnode);
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

}  // namespace testing_support
