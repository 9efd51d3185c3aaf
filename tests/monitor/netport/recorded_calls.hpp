#pragma once
// The calls the handling makes to the world outside it, recorded in order by the recording
// preferences and scanner library that the port's tests link in place of the monitor's own
// (recording_scanner_prefs.cpp, recording_scanner_library.cpp; see this folder's CMakeLists.txt):
//
//   "IsNetworkScanning = true"   a SetScannerPref, the value in its readable form ("(removed)"
//   "RemoteIPAddress = \"\""     for none), recorded once it is written
//   "Open -> 0"                  a ScannerLibrary operation with its result; "EndNetworkScan"
//   "SendDestinationList -> 0"   and "Close" have none

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace netport_testing {

std::vector<std::string> RecordedCalls();
void ClearRecordedCalls();

// Runs on the writing thread before each preference write, outside the recorder's lock, so a
// test can hold the handling of a message at a known point. Empty to remove.
void SetBeforePrefWrite(std::function<void(std::string_view key)> hook);

// What ScannerLibrary::Open answers from now on: 0 (the library opened, the default), or a
// failure such as -4960 (not installed, or its code does not load).
void SetOpenResult(std::int32_t result);

// For the recording libraries.
std::int32_t OpenResult();
void RecordCall(std::string call);
void BeforePrefWrite(std::string_view key);

}  // namespace netport_testing
