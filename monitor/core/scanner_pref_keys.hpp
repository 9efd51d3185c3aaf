#pragma once
// The scanner status preferences that the monitor shares with the other programs of the scanner
// software: the domain, and the keys the monitor reads or writes (it touches no other key).

#include <string_view>

namespace monitor {

// Kept for the current user on the current host.
inline constexpr std::string_view ScannerPrefsDomain = "com.velmora.aio.scannerlib.k71";

// String: the name of the scan-data message port, "OSPREY_READ_MSG_PORT".
inline constexpr std::string_view SCAN_DATA_MESSAGE_PORT = "SCAN_DATA_MESSAGE_PORT";
// Boolean: a network scan is in progress.
inline constexpr std::string_view IsNetworkScanning = "IsNetworkScanning";
// Boolean: a scan has been started (the monitor only ever writes true).
inline constexpr std::string_view IsCurrentlyScanning = "IsCurrentlyScanning";
// Signed 8-bit number: the last octet of the network device's IPv4 address.
inline constexpr std::string_view UNIQUE_NUMBER = "UNIQUE_NUMBER";
// String: the network device's dotted IPv4 address, or "".
inline constexpr std::string_view RemoteIPAddress = "RemoteIPAddress";

}  // namespace monitor
