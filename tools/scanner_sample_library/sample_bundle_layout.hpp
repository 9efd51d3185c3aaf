#pragma once
// The sample scanner library laid out as a bundle wherever it is wanted, typically
//   <root>/Library/Application Support/Velmora/7720 Series Scanner.bundle/Contents/
//       SharedSupport/7720ScannerLib.bundle
// where the monitor looks for it.

#include <filesystem>
#include <optional>

#include "platform/base/result.hpp"
#include "tools/scanner_sample_library/sample_settings.hpp"

namespace scanner_sample {

inline constexpr const char* bundle_name = "7720ScannerLib.bundle";
inline constexpr const char* executable_name = "7720ScannerLib";

// The sample bundle the build made or the installation holds, found from the companion
// program's own path: <program folder>/7720ScannerLib.bundle (build tree), then
// <program folder>/../share/velmora/samples/7720ScannerLib.bundle (installed).
std::optional<std::filesystem::path> find_built_bundle(const std::filesystem::path& program);

// Copies Contents/Info.plist and the code of the built bundle into folder (creating it and its
// parents) and writes the settings. Files that exist are replaced by a rename, never rewritten
// in place, so a process that has the old code loaded keeps running.
platform::Result<void> make_sample_bundle(const std::filesystem::path& built,
                                          const std::filesystem::path& folder,
                                          const Settings& settings);

}  // namespace scanner_sample
