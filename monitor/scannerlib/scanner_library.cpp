#include "monitor/scannerlib/scanner_library.hpp"

#include <utility>

#include "monitor/core/scanner_prefs.hpp"
#include "platform/base/os_status.hpp"
#include "platform/folders/folders.hpp"
#include "platform/plist/value.hpp"

namespace monitor {

namespace {

constexpr std::int32_t VendorID = 7731;
constexpr std::int32_t ProductID = 183;

// One for the whole process: Open takes it, Close (or a failed Open, or the destructor) gives
// it back.
std::mutex& ScannerLibraryLock() {
    static std::mutex lock;
    return lock;
}

template <class Function>
Function* EntryPoint(const platform::bundle::Bundle& bundle, const char* name) {
    return platform::bundle::entry_point<Function>(bundle, name);
}

}  // namespace

ScannerLibrary::ScannerLibrary() = default;

ScannerLibrary::~ScannerLibrary() = default;

std::int32_t ScannerLibrary::LocateLibrary() {
    auto applicationSupport =
        platform::folders::find_folder(platform::folders::Folder::ApplicationSupport, false);
    if (!applicationSupport) return applicationSupport.error().status;

    auto scannerBundle =
        platform::bundle::Bundle::open(*applicationSupport / "Velmora" / "7720 Series Scanner.bundle");
    if (!scannerBundle) return platform::os_status::coreFoundationUnknownErr;
    const auto sharedSupport = scannerBundle->shared_support_path();
    if (!sharedSupport) return platform::os_status::coreFoundationUnknownErr;
    libraryURL = *sharedSupport / "7720ScannerLib.bundle";
    return platform::os_status::noErr;
}

std::int32_t ScannerLibrary::Load() {
    if (LocateLibrary() != platform::os_status::noErr) {
        return platform::os_status::coreFoundationUnknownErr;
    }
    auto opened = platform::bundle::Bundle::open(*libraryURL);
    if (!opened) return platform::os_status::coreFoundationUnknownErr;
    // Kept even when its code does not load: Close or the destructor releases it.
    bundle.emplace(std::move(*opened));
    if (!bundle->load()) return platform::os_status::coreFoundationUnknownErr;

    enableScannerEx = EntryPoint<EnableScannerExFunction>(*bundle, "EnableScannerEx");
    disableScanner = EntryPoint<DisableScannerFunction>(*bundle, "DisableScanner");
    deviceParameterSet = EntryPoint<DeviceParameterSetFunction>(*bundle, "DeviceParameterSet");
    scanVersion = EntryPoint<ScanVersionFunction>(*bundle, "ScanVersion");
    endNetworkScan = EntryPoint<EndNetworkScanFunction>(*bundle, "EndNetworkScan");
    return platform::os_status::noErr;
}

std::int32_t ScannerLibrary::Open() {
    if (!sequenceLock.owns_lock()) sequenceLock = std::unique_lock(ScannerLibraryLock());
    const std::int32_t loaded = Load();
    if (loaded != platform::os_status::noErr) {
        // Nothing was loaded or enabled, so there is nothing for other sequences to wait for;
        // callers that skip Close after a failed Open keep no one waiting.
        sequenceLock.unlock();
        return loaded;
    }
    if (enableScannerEx) deviceHandle = enableScannerEx(VendorID, ProductID);
    return platform::os_status::noErr;
}

std::int32_t ScannerLibrary::EndNetworkScan() {
    if (!endNetworkScan) return 0;
    SetScannerPref(IsNetworkScanning, platform::plist::Value::boolean(false));
    SetScannerPref(RemoteIPAddress, platform::plist::Value::string(""));
    return endNetworkScan(deviceHandle);
}

void ScannerLibrary::Close() {
    if (deviceHandle != 0 && disableScanner) {
        disableScanner(deviceHandle);
        deviceHandle = 0;
    }
    if (bundle) {
        // The entry points go with the code: nothing can call into an unloaded library.
        ForgetEntryPoints();
        bundle->unload();
        bundle.reset();
    }
    if (sequenceLock.owns_lock()) sequenceLock.unlock();
}

void ScannerLibrary::ForgetEntryPoints() {
    enableScannerEx = nullptr;
    disableScanner = nullptr;
    deviceParameterSet = nullptr;
    scanVersion = nullptr;
    endNetworkScan = nullptr;
}

}  // namespace monitor
