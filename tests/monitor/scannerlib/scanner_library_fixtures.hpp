#pragma once
// What the scanner library tests install in their private file-system root: the scanner bundle
// with a library bundle in its shared support folder, and the scan-destination application's
// list of destinations.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/plist/value.hpp"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_settings.hpp"

namespace scannerlib_test {

// <root>/Library/Application Support/Velmora/7720 Series Scanner.bundle
std::filesystem::path ScannerBundle();
// Its Contents/SharedSupport/7720ScannerLib.bundle
std::filesystem::path LibraryBundle();

// A library bundle whose Info.plist names this file, copied in, as its code.
void InstallLibraryCode(const std::filesystem::path& code);
// The sample library with these settings; returns where it records.
std::filesystem::path InstallSampleLibrary(const scanner_sample::Settings& settings = {});

// Stores the scan-destination application's list: one application per panel name, a null
// name giving an application without "OpName".
void StoreApplicationList(const std::vector<platform::plist::Value>& panelNames);

// The calls of a record with this name, in order.
std::vector<scanner_sample::RecordedCall> CallsNamed(
    const std::vector<scanner_sample::RecordedCall>& calls, const char* name);

// The block of "Preview.app" and "Mail": 04 E4, then File, Clipboard, Preview and Mail.
std::vector<std::uint8_t> PreviewMailBlock();

}  // namespace scannerlib_test
