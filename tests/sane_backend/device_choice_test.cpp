// Which device the data source opens: the preferences' device, else the scanner's USB device by
// its libusb address and sysfs identifiers, else the first one listed.

#include <gtest/gtest.h>

#include <cstdlib>

#include "sane_backend/sane/backend_preferences.hpp"
#include "sane_backend/sane/device_choice.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using namespace sane_backend;
using testing_support::write_file;

// A USB device's sysfs folder as the kernel lays it out.
void usb_device(const std::filesystem::path& sysfs, const std::string& name, int bus, int device, const char* vendor,
                const char* product) {
    const auto folder = sysfs / "bus/usb/devices" / name;
    write_file(folder / "busnum", std::to_string(bus) + "\n");
    write_file(folder / "devnum", std::to_string(device) + "\n");
    write_file(folder / "idVendor", std::string(vendor) + "\n");
    write_file(folder / "idProduct", std::string(product) + "\n");
}

TEST(DeviceChoice, UsbAddressesAreFoundWhereverTheBackendPutsThem) {
    EXPECT_EQ(usb_address("epson2:libusb:001:004"), (std::pair{1, 4}));
    EXPECT_EQ(usb_address("libusb:003:012"), (std::pair{3, 12}));
    EXPECT_EQ(usb_address("genesys:libusb:002:007:extra"), (std::pair{2, 7}));
    EXPECT_FALSE(usb_address("test:0"));
    EXPECT_FALSE(usb_address("net:host:libusb:1:4"));
    EXPECT_FALSE(usb_address("xlibusb:001:004"));
    EXPECT_FALSE(usb_address("hpaio:/usb/Deskjet?serial=libusb:001:004x"));
}

TEST(DeviceChoice, ThePreferredDeviceWinsTheScannersUsbDeviceComesNextThenTheFirstListed) {
    testing_support::TempDir sysfs("sysfs");
    usb_device(sysfs.path(), "1-1", 1, 4, "04b8", "0142");  // another scanner
    usb_device(sysfs.path(), "1-2", 1, 7, "1e33", "00b7");  // ours: 7731, 183
    const std::vector<DeviceEntry> listed = {
        {"test:0", "Noname", "frontend-tester"},
        {"epson2:libusb:001:004", "Epson", "GT"},
        {"velmorascan:libusb:001:007", "Velmora", "Q580n"},
    };
    const UsbIdentity ours{7731, 183};
    EXPECT_EQ(choose_device("net:elsewhere:test:0", listed, ours, sysfs.path()), "net:elsewhere:test:0")
        << "named, even when not listed";
    EXPECT_EQ(choose_device("", listed, ours, sysfs.path()), "velmorascan:libusb:001:007");
    EXPECT_EQ(choose_device("", listed, {-1, -1}, sysfs.path()), "test:0") << "identifiers unknown";
    EXPECT_EQ(choose_device("", listed, {7731, 184}, sysfs.path()), "test:0");
    EXPECT_EQ(choose_device("", listed, ours, sysfs.path() / "missing"), "test:0");
    EXPECT_EQ(choose_device("", {}, ours, sysfs.path()), "");
}

TEST(DeviceChoice, ThePreferencesFileFollowsTheConfigurationFolder) {
    testing_support::TempDir home("home");
    ::setenv("HOME", home.path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(preferences_file(), home.path() / ".config/Preferences/com.velmora.aio.datasource.sane.plist");
    ::setenv("XDG_CONFIG_HOME", (home / "xdg").c_str(), 1);
    const auto file = preferences_file();
    EXPECT_EQ(file, home.path() / "xdg/Preferences/com.velmora.aio.datasource.sane.plist");

    EXPECT_EQ(preferred_device(file), "") << "no file";
    write_file(file,
               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SANEDevice</key>"
               "<string>epson2:libusb:001:004</string></dict></plist>");
    EXPECT_EQ(preferred_device(file), "epson2:libusb:001:004");
    write_file(file,
               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>SANEDevice</key>"
               "<integer>4</integer></dict></plist>");
    EXPECT_EQ(preferred_device(file), "") << "not a string";
    write_file(file, "<plist><dict><key>SANEDevice</key>");
    EXPECT_EQ(preferred_device(file), "") << "damaged";
}

}  // namespace
