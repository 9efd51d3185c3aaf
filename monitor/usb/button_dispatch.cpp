#include "monitor/usb/button_dispatch.hpp"

#include <cstdlib>
#include <string>

#include "monitor/core/scanner_prefs.hpp"
#include "monitor/usb/hid_button_device.hpp"
#include "platform/base/os_status.hpp"
#include "platform/folders/folders.hpp"

namespace monitor {

namespace {

using platform::plist::Value;

constexpr const char* kScanCommand =
    "/Users/benchuser/scanprobe -l /var/tmp/scan.log -sp_exec 1 usb -a /var/tmp/scanprobe.log";
constexpr const char* kSignalCommand = "killall -USR1 scanprobe";
constexpr const char* kListCommand = "/Users/benchuser/scanprobe -sp_list usb";
constexpr const char* kImageCaptureCommand = "open /Applications/Image\\ Capture.app";

enum ButtonCodes : std::uint32_t {
    kScanButton = 2,
    kImageCaptureButton = 34,
    kSignalButton1 = 65,
    kSignalButton2 = 66,
    kListButton = 256,
};

bool IsTrue(const Value& value) { return value.as_boolean().value_or(false); }

void RunCommand(const char* command) { [[maybe_unused]] const int status = std::system(command); }

}  // namespace

std::uint32_t ButtonCode(std::int32_t slot1, std::int32_t slot2) {
    const auto high = static_cast<std::uint32_t>(slot1) & 0xFF;
    const auto low = static_cast<std::uint32_t>(slot2) & 0xFF;
    return ((high << 4) | (low >> 4)) & 0xFFF;
}

void DispatchButtonEvents(HidButtonDevice& reader) {
    const Value previousNetwork = CopyScannerPref(IsNetworkScanning);
    const Value previousScanning = CopyScannerPref(IsCurrentlyScanning);

    if (reader.ReadEvents() == 0) {
        SetScannerPref(IsNetworkScanning, Value::boolean(false));
        SetScannerPref(IsCurrentlyScanning, Value::boolean(true));
        switch (ButtonCode(reader.values()[0], reader.values()[1])) {
            case kScanButton: RunCommand(kScanCommand); break;
            case kImageCaptureButton:
                reader.Close();
                reader.Open();
                OpenImageCapture();
                break;
            case kSignalButton1:
            case kSignalButton2: RunCommand(kSignalCommand); break;
            case kListButton: RunCommand(kListCommand); break;
            default: break;
        }
    }

    // Absent, or a value that is not a boolean, is not a scan in progress.
    if (IsTrue(previousScanning)) {
        SetScannerPref(IsNetworkScanning, previousNetwork);
    }
}

std::int32_t OpenImageCapture() {
    std::optional<platform::bundle::Bundle> bundle;
    const std::int32_t loaded = LoadFrameworkBundle("System.framework", &bundle);
    if (loaded != 0) return loaded;
    using SystemFunction = int(const char*);
    auto* run = platform::bundle::entry_point<SystemFunction>(*bundle, "system");
    return run ? run(kImageCaptureCommand) : 0;
}

std::int32_t LoadFrameworkBundle(std::string_view name,
                                 std::optional<platform::bundle::Bundle>* bundle) {
    if (!bundle) return -1;
    bundle->reset();
    auto frameworks = platform::folders::find_folder(platform::folders::Folder::Frameworks, true);
    if (!frameworks) return frameworks.error().status;
    auto opened = platform::bundle::Bundle::open(*frameworks / std::string(name));
    if (!opened) return platform::os_status::coreFoundationUnknownErr;
    *bundle = std::move(opened.value());
    if (!(*bundle)->load()) {
        bundle->reset();
        return platform::os_status::coreFoundationUnknownErr;
    }
    return 0;
}

}  // namespace monitor
