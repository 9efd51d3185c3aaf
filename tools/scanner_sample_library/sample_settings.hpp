#pragma once
// The sample scanner library's settings. The library is loaded with no way to pass it anything,
// so it reads them from its own bundle, at every call that needs them:
//
//   <bundle>/Contents/Resources/SampleSettings.plist, a dictionary, every key optional:
//     "ScanVersionResult"        integer, what ScanVersion returns (default 1; 0 = failure, and
//                                the monitor then sends nothing)
//     "ScanVersionBytes"         array of three integers 0-255, the bytes ScanVersion fills
//                                (default [1, 0, 0]); bit 0 of the third set asks the monitor
//                                for the empty destination list
//     "DeviceParameterSetDelay"  integer, milliseconds DeviceParameterSet takes (default 0), to
//                                play a slow device
//     "RecordFile"               string, an absolute path for the record (default: beside the
//                                bundle, "<folder holding the bundle>/7720ScannerLib.record")

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/base/result.hpp"

namespace scanner_sample {

struct Settings {
    std::int32_t scan_version_result = 1;
    std::array<std::uint8_t, 3> scan_version_bytes{1, 0, 0};
    std::chrono::milliseconds parameter_set_delay{0};
    std::optional<std::filesystem::path> record_file;
};

inline constexpr const char* settings_file = "Contents/Resources/SampleSettings.plist";
inline constexpr const char* record_file_name = "7720ScannerLib.record";

// The bundle's settings; the defaults for whatever is missing, malformed or out of range.
Settings read_settings(const std::filesystem::path& bundle);
// Writes the settings file of the bundle (a record file only when one is set).
platform::Result<void> write_settings(const std::filesystem::path& bundle,
                                      const Settings& settings);

// Where the library of this bundle records: the settings' record file, or beside the bundle.
std::filesystem::path record_path(const std::filesystem::path& bundle, const Settings& settings);

}  // namespace scanner_sample
