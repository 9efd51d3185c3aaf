// The ScannerLibrary operations that the handling calls, behind the linker's --wrap (see
// wrapped_scanner_prefs.cpp): recorded in the order of their calls, with their results. A
// member function takes its object as its first argument.

#include <cstdint>
#include <string>

#include "tests/monitor/netport/recorded_calls.hpp"

namespace monitor {
class ScannerLibrary;
}

using Library = monitor::ScannerLibrary;

extern "C" {
std::int32_t __real__ZN7monitor14ScannerLibrary4OpenEv(Library* self);
std::int32_t __wrap__ZN7monitor14ScannerLibrary4OpenEv(Library* self);
std::int32_t __real__ZN7monitor14ScannerLibrary19SendDestinationListEv(Library* self);
std::int32_t __wrap__ZN7monitor14ScannerLibrary19SendDestinationListEv(Library* self);
std::int32_t __real__ZN7monitor14ScannerLibrary14EndNetworkScanEv(Library* self);
std::int32_t __wrap__ZN7monitor14ScannerLibrary14EndNetworkScanEv(Library* self);
void __real__ZN7monitor14ScannerLibrary5CloseEv(Library* self);
void __wrap__ZN7monitor14ScannerLibrary5CloseEv(Library* self);
}

std::int32_t __wrap__ZN7monitor14ScannerLibrary4OpenEv(Library* self) {
    const std::int32_t result = __real__ZN7monitor14ScannerLibrary4OpenEv(self);
    netport_testing::RecordCall("Open -> " + std::to_string(result));
    return result;
}

std::int32_t __wrap__ZN7monitor14ScannerLibrary19SendDestinationListEv(Library* self) {
    const std::int32_t result = __real__ZN7monitor14ScannerLibrary19SendDestinationListEv(self);
    netport_testing::RecordCall("SendDestinationList -> " + std::to_string(result));
    return result;
}

// Recorded before the call, since the call itself writes preferences that are recorded too.
std::int32_t __wrap__ZN7monitor14ScannerLibrary14EndNetworkScanEv(Library* self) {
    netport_testing::RecordCall("EndNetworkScan");
    return __real__ZN7monitor14ScannerLibrary14EndNetworkScanEv(self);
}

void __wrap__ZN7monitor14ScannerLibrary5CloseEv(Library* self) {
    __real__ZN7monitor14ScannerLibrary5CloseEv(self);
    netport_testing::RecordCall("Close");
}
