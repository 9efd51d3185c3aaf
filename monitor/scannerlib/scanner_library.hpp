#pragma once
// ScannerLibrary: the monitor's binding to the scanner library bundle (the entry points and the
// bundle's place are described in scanner_library_entry_points.h). Nothing links against the
// library: each object finds the bundle, loads its code, enables the device, does one job and
// unloads it again.
//
// Callers run: construct, Open, only if it returned 0 SendDestinationList or EndNetworkScan,
// Close, destroy. Open…Close sequences of different objects never overlap in this process:
// Open waits for the sequence of any other object to end, and the object holds the process's
// scanner library lock until Close, a failed Open or its destruction, whichever comes first.
// So the main thread and the port thread can each use their own object without one unloading
// code that the other is still calling. An object is used by one thread, and Open is called
// once per object.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>

#include "monitor/scannerlib/scanner_library_entry_points.h"
#include "platform/bundle/bundle.hpp"

namespace monitor {

class ScannerLibrary {
public:
    ScannerLibrary();
    ScannerLibrary(const ScannerLibrary&) = delete;
    ScannerLibrary& operator=(const ScannerLibrary&) = delete;
    // Releases the bundle if Close has not (dropping this object's reference to its code), and
    // the lock. It does not disable the device: that is Close's work.
    ~ScannerLibrary();

    // Finds "7720ScannerLib.bundle" in the shared support folder of
    // "<Application Support>/Velmora/7720 Series Scanner.bundle": 0, the folder lookup's error
    // (-43) when there is no Application Support folder, or -4960 when the scanner bundle or
    // its shared support folder is missing. The library bundle itself need not exist yet.
    std::int32_t LocateLibrary();
    // Locates the library, opens its bundle, loads its code and looks up its entry points; a
    // missing entry point is no error. 0, or -4960 whatever failed.
    std::int32_t Load();
    // Waits for the scanner library lock, loads the library and enables the device with vendor
    // 7731 and product 183 (no handle when EnableScannerEx is missing). 0, or -4960 when the
    // library is not installed or its code does not load; the lock is then given back at once.
    std::int32_t Open();
    // Sends the destination list of the scan-destination application's preferences to the
    // device's panel. Always 0; nothing is sent when ScanVersion or DeviceParameterSet is
    // missing or ScanVersion fails.
    std::int32_t SendDestinationList();
    // Clears the network scan status ("IsNetworkScanning" false, "RemoteIPAddress" "") and
    // calls the library's EndNetworkScan, returning its result. Without that entry point it
    // does nothing and returns 0.
    std::int32_t EndNetworkScan();
    // Disables the device (when there is a handle and DisableScanner), unloads and releases the
    // bundle and gives the lock back. May be called more than once and after a failed Open; it
    // only does what is left to do.
    void Close();

private:
    using EnableScannerExFunction = decltype(::EnableScannerEx);
    using DisableScannerFunction = decltype(::DisableScanner);
    using DeviceParameterSetFunction = decltype(::DeviceParameterSet);
    using ScanVersionFunction = decltype(::ScanVersion);
    using EndNetworkScanFunction = decltype(::EndNetworkScan);

    void ForgetEntryPoints();

    std::optional<std::filesystem::path> libraryURL;  // the library bundle's folder, once located
    // Held from Open to Close. Declared before the bundle so that a destructor that finds the
    // bundle still held releases it before the lock.
    std::unique_lock<std::mutex> sequenceLock;
    std::optional<platform::bundle::Bundle> bundle;
    ScannerDeviceHandle deviceHandle = 0;
    EnableScannerExFunction* enableScannerEx = nullptr;
    DisableScannerFunction* disableScanner = nullptr;
    DeviceParameterSetFunction* deviceParameterSet = nullptr;
    ScanVersionFunction* scanVersion = nullptr;
    EndNetworkScanFunction* endNetworkScan = nullptr;
};

}  // namespace monitor
