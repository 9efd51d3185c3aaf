#include "monitor/scannerlib/scanner_library.hpp"

#include <utility>

#include "monitor/core/monitor_report.hpp"
#include "monitor/core/scanner_prefs.hpp"
#include "platform/base/os_status.hpp"
#include "platform/diagnostics/reporting.hpp"
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

namespace diagnostics = platform::diagnostics;

constexpr std::string_view kLibraryMissing = "SCANNER_LIBRARY_MISSING";
constexpr std::string_view kLibraryNotLoaded = "SCANNER_LIBRARY_NOT_LOADED";
constexpr std::string_view kEntryPointMissing = "SCANNER_LIBRARY_ENTRY_POINT_MISSING";

// What the monitor cannot do without each entry point.
const char* WithoutEntryPoint(std::string_view name) {
    if (name == "EnableScannerEx") return "the device is used without a handle";
    if (name == "DisableScanner") return "the device is never disabled";
    if (name == "DeviceParameterSet" || name == "ScanVersion") {
        return "the panel gets no destination list";
    }
    return "the end of a network scan reaches only the preferences";
}

template <class Function>
Function* EntryPoint(const platform::bundle::Bundle& bundle, const char* name) {
    auto* found = platform::bundle::entry_point<Function>(bundle, name);
    const auto entry = [&](diagnostics::Priority priority, std::string message) {
        return diagnostics::Entry{
            priority,
            std::move(message),
            {{report::kEntryPoint, name}, {report::kLibrary, bundle.path().string()}}};
    };
    if (found) {
        diagnostics::end_condition(kEntryPointMissing, name, [&] {
            return entry(diagnostics::Priority::Notice,
                         std::string("the scanner library has its entry point ") + name + " again");
        });
    } else {
        diagnostics::begin_condition(kEntryPointMissing, name, [&] {
            return entry(diagnostics::Priority::Warning,
                         std::string("the scanner library lacks its entry point ") + name + ": " +
                             WithoutEntryPoint(name));
        });
    }
    return found;
}

diagnostics::Entry LibraryEntry(diagnostics::Priority priority, std::string message,
                                const std::filesystem::path& library) {
    return {priority, std::move(message), {{report::kLibrary, library.string()}}};
}

void ReportMissing(const std::filesystem::path& library) {
    diagnostics::begin_condition(kLibraryMissing, "", [&] {
        return LibraryEntry(diagnostics::Priority::Warning,
                            "the scanner library is not installed (" + library.string() +
                                "): the panel gets no destination list, and network scans are "
                                "ended in the preferences only",
                            library);
    });
}

void ReportNotLoaded(const std::filesystem::path& library, const std::string& reason) {
    diagnostics::begin_condition(kLibraryNotLoaded, "", [&] {
        auto entry = LibraryEntry(diagnostics::Priority::Error,
                                  "the scanner library's code does not load: " + reason, library);
        entry.fields.push_back({report::kReason, reason});
        return entry;
    });
}

void ReportLoaded(const std::filesystem::path& library) {
    const auto loaded = [&] {
        return LibraryEntry(diagnostics::Priority::Notice, "the scanner library loads again",
                            library);
    };
    diagnostics::end_condition(kLibraryMissing, "", loaded);
    diagnostics::end_condition(kLibraryNotLoaded, "", loaded);
}

// Where the library is looked for, for a person to check.
std::filesystem::path ExpectedLibraryPath() {
    return platform::folders::system_path(
        "/Library/Application Support/Velmora/7720 Series Scanner.bundle/Contents/SharedSupport/"
        "7720ScannerLib.bundle");
}

}  // namespace

ScannerLibrary::ScannerLibrary() = default;

ScannerLibrary::~ScannerLibrary() = default;

std::int32_t ScannerLibrary::LocateLibrary() {
    auto applicationSupport =
        platform::folders::find_folder(platform::folders::Folder::ApplicationSupport, false);
    if (!applicationSupport) return applicationSupport.error().status;

    auto scannerBundle = platform::bundle::Bundle::open(*applicationSupport / "Velmora" /
                                                        "7720 Series Scanner.bundle");
    if (!scannerBundle) return platform::os_status::coreFoundationUnknownErr;
    const auto sharedSupport = scannerBundle->shared_support_path();
    if (!sharedSupport) return platform::os_status::coreFoundationUnknownErr;
    libraryURL = *sharedSupport / "7720ScannerLib.bundle";
    return platform::os_status::noErr;
}

std::int32_t ScannerLibrary::Load() {
    if (LocateLibrary() != platform::os_status::noErr) {
        ReportMissing(ExpectedLibraryPath());
        return platform::os_status::coreFoundationUnknownErr;
    }
    auto opened = platform::bundle::Bundle::open(*libraryURL);
    if (!opened) {
        ReportMissing(*libraryURL);
        return platform::os_status::coreFoundationUnknownErr;
    }
    // Kept even when its code does not load: Close or the destructor releases it.
    bundle.emplace(std::move(*opened));
    if (auto loaded = bundle->load(); !loaded) {
        ReportNotLoaded(*libraryURL, loaded.error().message);
        return platform::os_status::coreFoundationUnknownErr;
    }
    ReportLoaded(*libraryURL);

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
