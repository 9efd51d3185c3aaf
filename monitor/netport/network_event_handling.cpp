// What the monitor does with a network button event: the report's bytes decide between a scan
// request (recorded in the scanner status preferences and sent to the scan-destination
// application) and a control command (the panel's destination list, or the end of a network
// scan, through the scanner library). Runs on the port thread, one message at a time.

#include <cstring>

#include "monitor/core/scanner_pref_keys.hpp"
#include "monitor/core/scanner_prefs.hpp"
#include "monitor/core/standard_streams.hpp"
#include "monitor/launch/scan_launch_request.hpp"
#include "monitor/netport/button_port_server.hpp"
#include "monitor/netport/dotted_quad_string.hpp"
#include "monitor/netport/network_button_event.hpp"
#include "monitor/scannerlib/scanner_library.hpp"
#include "platform/diagnostics/descriptors.hpp"
#include "platform/plist/describe.hpp"
#include "platform/plist/value.hpp"

namespace monitor {

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;

// The received unique number, a line on standard error: the one thing the monitor writes there.
void ShowValue(const Value& value) {
    (void)WriteErrorLine(platform::plist::describe(value) + "\n");
}

}  // namespace

std::int32_t ButtonPortServer::HandleNetworkEvent() {
    std::int32_t result = -1;
    if (report[ReportMarkerByte] == EventMarker) {
        // The last octet alone, as a signed 8-bit number: 200 is recorded as -56.
        const Value uniqueNumber =
            Value::integer(static_cast<std::int8_t>(address[3]), IntegerKind::SInt8);
        ShowValue(uniqueNumber);
        SetScannerPref(UNIQUE_NUMBER, uniqueNumber);

        switch (report[ReportCommandByte]) {
            case ScanRequestCommand:
                SetScannerPref(IsNetworkScanning, Value::boolean(true));
                result = 0;
                if (report[ReportScanTypeByte] == NoScanType) break;
                scanType = report[ReportScanTypeByte];
                directValue = report[ReportDirectValueByte];
                resolution = report[ReportResolutionByte];
                SetScannerPref(IsCurrentlyScanning, Value::boolean(true));
                // Refused after the scan state is marked; the report is left as it came.
                if (scanType == RefusedScanType) return -1;
                SendScanRequest();
                break;
            case ControlCommand:
                result = 0;
                if (report[ReportOperationByte] == RefreshDestinationListOperation) {
                    RefreshDestinationList();
                } else if (report[ReportOperationByte] == EndNetworkScanOperation) {
                    FinishNetworkScan();
                }
                break;
            default: break;
        }
    }
    report.fill(0);
    // A step of this event may have met the end of the descriptors, or found them back.
    platform::diagnostics::check_descriptors();
    return result;
}

void ButtonPortServer::SendScanRequest() {
    const std::optional<std::string> addressString = CopyAddressString();
    ScanLaunchRequest request(static_cast<std::int32_t>(scanType),
                              static_cast<std::int32_t>(directValue),
                              static_cast<std::int32_t>(resolution), 1, addressString);
    SetScannerPref(IsNetworkScanning, Value::boolean(true));
    SetScannerPref(RemoteIPAddress, Value::string(addressString.value_or("")));
    // The application's answer makes no difference here: a failure only means no scan starts.
    (void)request.Send();
}

void ButtonPortServer::RefreshDestinationList() {
    SetScannerPref(IsNetworkScanning, Value::boolean(true));
    ScannerLibrary library;
    if (library.Open() == 0) {
        (void)library.SendDestinationList();
        library.Close();
    } else {
        SetScannerPref(IsNetworkScanning, Value::boolean(false));
        SetScannerPref(RemoteIPAddress, Value::string(""));
    }
}

void ButtonPortServer::FinishNetworkScan() {
    SetScannerPref(IsNetworkScanning, Value::boolean(false));
    SetScannerPref(RemoteIPAddress, Value::string(""));
    ScannerLibrary library;
    if (library.Open() == 0) (void)library.EndNetworkScan();
    // Also after a failed Open, which may have left the library's bundle held.
    library.Close();
}

std::optional<std::string> ButtonPortServer::CopyAddressString() const {
    // The bytes in message order are the address in network byte order.
    std::uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, address.data(), sizeof networkOrder);
    return CreateDottedQuadString(networkOrder);
}

}  // namespace monitor
