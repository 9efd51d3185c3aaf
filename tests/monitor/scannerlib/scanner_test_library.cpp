// A scanner library for the binding's tests, built in variants that each lack some entry
// points (WITHOUT_ENABLE_SCANNER_EX, ...). It keeps the calls it gets in memory, one line
// each, for the test to read through ScannerTestCalls; the test holds its own reference to the
// code so that the log outlives the binding's unload. EndNetworkScan runs the hook the test set.

#include <cstdint>
#include <string>

#include "monitor/scannerlib/scanner_library_entry_points.h"

extern "C" {
SCANNER_LIBRARY_ENTRY_POINT const char* ScannerTestCalls();
SCANNER_LIBRARY_ENTRY_POINT void ScannerTestSetEndNetworkScanHook(
    int32_t (*hook)(ScannerDeviceHandle));
}

namespace {

std::string calls;
int32_t (*end_network_scan_hook)(ScannerDeviceHandle) = nullptr;

void log(const std::string& line) { calls += line + "\n"; }

}  // namespace

const char* ScannerTestCalls() { return calls.c_str(); }

void ScannerTestSetEndNetworkScanHook(int32_t (*hook)(ScannerDeviceHandle)) {
    end_network_scan_hook = hook;
}

#ifndef WITHOUT_ENABLE_SCANNER_EX
ScannerDeviceHandle EnableScannerEx(int32_t vendor, int32_t product) {
    log("EnableScannerEx " + std::to_string(vendor) + " " + std::to_string(product));
    return 0x7720;
}
#endif

#ifndef WITHOUT_DISABLE_SCANNER
int32_t DisableScanner(ScannerDeviceHandle handle) {
    log("DisableScanner " + std::to_string(handle));
    return 0;
}
#endif

#ifndef WITHOUT_SCAN_VERSION
int32_t ScanVersion(ScannerDeviceHandle handle, uint8_t* version1, uint8_t* version2,
                    uint8_t* flags) {
    log("ScanVersion " + std::to_string(handle));
    *version1 = 1;
    *version2 = 0;
    *flags = 0;
    return 1;
}
#endif

#ifndef WITHOUT_DEVICE_PARAMETER_SET
int32_t DeviceParameterSet(ScannerDeviceHandle handle, int32_t parameter, int32_t count,
                           const uint8_t*, int32_t length) {
    log("DeviceParameterSet " + std::to_string(handle) + " " + std::to_string(parameter) + " " +
        std::to_string(count) + " " + std::to_string(length));
    return 0;
}
#endif

#ifndef WITHOUT_END_NETWORK_SCAN
int32_t EndNetworkScan(ScannerDeviceHandle handle) {
    log("EndNetworkScan " + std::to_string(handle));
    return end_network_scan_hook ? end_network_scan_hook(handle) : 0;
}
#endif
