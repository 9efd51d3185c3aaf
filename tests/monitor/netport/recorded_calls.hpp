#pragma once
// The calls the handling makes to the world outside it, recorded in order by wrappers that the
// linker puts in front of the real functions (see this folder's CMakeLists.txt), so the code
// under test, the preferences and the scanner library stay as they are:
//
//   "IsNetworkScanning = true"   a SetScannerPref, the value in its readable form ("(removed)"
//   "RemoteIPAddress = \"\""     for none), recorded once it is written
//   "Open -> 0"                  a ScannerLibrary operation with its result; "Close" has none
//   "EndNetworkScan -> 0"

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

// For the wrappers.
void RecordCall(std::string call);
void BeforePrefWrite(std::string_view key);

}  // namespace netport_testing
