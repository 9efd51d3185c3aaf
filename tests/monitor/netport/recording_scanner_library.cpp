// monitor::ScannerLibrary for the port's tests, linked in place of the monitor's own
// (monitor_scannerlib): nothing is loaded; each operation the handling calls is recorded, and
// Open answers what the test asked for (SetOpenResult). The binding itself is tested with real
// scanner libraries in tests/monitor/scannerlib.

#include "monitor/scannerlib/scanner_library.hpp"

#include <string>

#include "tests/monitor/netport/recorded_calls.hpp"

namespace monitor {

ScannerLibrary::ScannerLibrary() = default;

ScannerLibrary::~ScannerLibrary() = default;

std::int32_t ScannerLibrary::Open() {
    const std::int32_t result = netport_testing::OpenResult();
    netport_testing::RecordCall("Open -> " + std::to_string(result));
    return result;
}

std::int32_t ScannerLibrary::SendDestinationList() {
    netport_testing::RecordCall("SendDestinationList -> 0");
    return 0;
}

std::int32_t ScannerLibrary::EndNetworkScan() {
    netport_testing::RecordCall("EndNetworkScan");
    return 0;
}

void ScannerLibrary::Close() { netport_testing::RecordCall("Close"); }

}  // namespace monitor
