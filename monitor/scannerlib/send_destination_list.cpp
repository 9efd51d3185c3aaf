// ScannerLibrary::SendDestinationList: the panel's destination list, from the applications the
// user chose in the scan-destination application.

#include <algorithm>
#include <vector>

#include "monitor/hubprefs/hub_prefs.hpp"
#include "monitor/scannerlib/destination_list_block.hpp"
#include "monitor/scannerlib/scanner_library.hpp"

namespace monitor {

namespace {

constexpr const char* ScanHubApplicationID = "com.velmora.aio.scanhub.2007";
constexpr std::int32_t DestinationListParameter = 1;

std::vector<platform::plist::Value> PanelNames(HubPrefs& prefs) {
    const std::size_t count = std::min<std::size_t>(prefs.ApplicationCount(), MaxPanelApplications);
    std::vector<platform::plist::Value> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) names.push_back(prefs.OpNameAt(static_cast<long>(i)));
    return names;
}

}  // namespace

std::int32_t ScannerLibrary::SendDestinationList() {
    // A fresh read-only view, synchronized: what the scan-destination application last stored.
    HubPrefs prefs(false, ScanHubApplicationID);
    prefs.Synchronize();
    if (!scanVersion) return 0;

    std::uint8_t version1 = 0;
    std::uint8_t version2 = 0;
    std::uint8_t flags = 0;
    if (scanVersion(deviceHandle, &version1, &version2, &flags) == 0) return 0;

    // Bit 0 of the third byte: the panel takes no list.
    const DestinationListBlock block =
        (flags & 1) != 0 ? MakeEmptyDestinationList() : MakeDestinationList(PanelNames(prefs));
    if (deviceParameterSet) {
        deviceParameterSet(deviceHandle, DestinationListParameter, block.entryCount,
                           block.bytes.data(), static_cast<std::int32_t>(block.length));
    }
    return 0;
}

}  // namespace monitor
