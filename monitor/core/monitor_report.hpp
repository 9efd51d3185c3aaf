#pragma once
// The monitor's entries in the journal (platform/diagnostics): the names of the fields a person
// filters on. The journal sees them with the prefix VELMORA_ (journal_sink.hpp), for example
//
//   journalctl --user -u button-monitor VELMORA_CONDITION=SCAN_HUB_MISSING
//   journalctl --user -u button-monitor VELMORA_DEVICE=/sys/devices/pci0000:00/.../1-2
//
// EVENT names a one-off entry (a device attached); CONDITION (with CONDITION_STATE began or
// ended) names a state reported when it begins and when it ends.

#include <string_view>

namespace monitor::report {

inline constexpr std::string_view kIdentifier = "button-monitor";
inline constexpr std::string_view kFieldPrefix = "VELMORA_";

inline constexpr const char* kEvent = "EVENT";
inline constexpr const char* kPort = "PORT";                // a message port's name
inline constexpr const char* kDevice = "DEVICE";            // a USB device's sysfs path
inline constexpr const char* kOsStatus = "OS_STATUS";       // a Mac OS error code (-4960, -43 ...)
inline constexpr const char* kLibrary = "LIBRARY";          // the scanner library bundle's path
inline constexpr const char* kEntryPoint = "ENTRY_POINT";   // an entry point's name
inline constexpr const char* kApplication = "APPLICATION";  // an application bundle's path
inline constexpr const char* kPid = "PID";                  // a launched application's pid
inline constexpr const char* kScope = "SCOPE";              // its scope on the service manager
inline constexpr const char* kReason = "REASON";            // the platform's word for a failure

}  // namespace monitor::report
