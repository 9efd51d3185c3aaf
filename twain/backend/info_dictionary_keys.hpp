#pragma once
// The keys of the backend info dictionary that a backend receives in initWithIdentity, in the
// order in which they are set, with the kind of each value (platform::plist::Type, and for
// integers IntegerKind::SInt32). Keys marked "optional" are left out when their source has no
// value; every other key is always present. No key ever holds a null value.
//
// Paths are those of the file-system view the data source runs in: on an installed system the
// fixed paths as written below, in tests the same paths below the test's root folder.

#include <string_view>

namespace twain::info_dictionary_keys {

// FileUrl: the scanner library, "/Library/Application Support/Velmora/Q580n Scanner.bundle/
// Contents/SharedSupport/Q580nScannerLib.bundle".
inline constexpr std::string_view dKeyDriverURL = "dKeyDriverURL";
// String (a plain path, not a URL): "/Library/Printers/Velmora/Frameworks/VelImagingEngine.bundle".
inline constexpr std::string_view dKeyImagingURL = "dKeyImagingURL";
// Integer start values of the scan settings: 0, 300, 0 and 1.
inline constexpr std::string_view dKeyColorDepth = "dKeyColorDepth";
inline constexpr std::string_view dKeyResolution = "dKeyResolution";
inline constexpr std::string_view dKeyDescreen = "dKeyDescreen";
inline constexpr std::string_view dKeyAutocrop = "dKeyAutocrop";
// Real: the custom layout starts as the whole flatbed (0.0, 0.0, scanner width and height).
inline constexpr std::string_view dKeyCustomLayoutOffsetX = "dKeyCustomLayoutOffsetX";
inline constexpr std::string_view dKeyCustomLayoutOffsetY = "dKeyCustomLayoutOffsetY";
inline constexpr std::string_view dKeyCustomLayoutWidth = "dKeyCustomLayoutWidth";
inline constexpr std::string_view dKeyCustomLayoutHeight = "dKeyCustomLayoutHeight";
// Integer: USB vendor and product ID, -1 when unknown.
inline constexpr std::string_view dKeyVID = "dKeyVID";
inline constexpr std::string_view dKeyPID = "dKeyPID";
// Optional, as stored in the scanner's Info.plist: an array of resolutions.
inline constexpr std::string_view dKeySupportedRes = "dKeySupportedRes";
// Optional, as stored.
inline constexpr std::string_view dKeyHelpPath = "dKeyHelpPath";
// Boolean.
inline constexpr std::string_view dKeyRetractableUSBSupport = "dKeyRetractableUSBSupport";
// Optional strings: full paths of the colour and grey ICC profiles.
inline constexpr std::string_view dKeyICCColorFilePath = "dKeyICCColorFilePath";
inline constexpr std::string_view dKeyICCGrayFilePath = "dKeyICCGrayFilePath";
// Integer: optical resolutions of the flatbed, -1 when unknown.
inline constexpr std::string_view dKeyFBOpticalXRes = "dKeyFBOpticalXRes";
inline constexpr std::string_view dKeyFBOpticalYRes = "dKeyFBOpticalYRes";
// Real: flatbed size, -1.0 when unknown.
inline constexpr std::string_view dKeyScannerWidth = "dKeyScannerWidth";
inline constexpr std::string_view dKeyScannerHeight = "dKeyScannerHeight";
// Boolean: the automatic document feeder.
inline constexpr std::string_view dKeyADFSupported = "dKeyADFSupported";
inline constexpr std::string_view dKeyADFIsFlipped = "dKeyADFIsFlipped";
inline constexpr std::string_view dKeyADFAllowPreview = "dKeyADFAllowPreview";
// Integer: optical resolutions of the feeder, -1 when unknown.
inline constexpr std::string_view dKeyADFOpticalXRes = "dKeyADFOpticalXRes";
inline constexpr std::string_view dKeyADFOpticalYRes = "dKeyADFOpticalYRes";
// Real: feeder scan size, -1.0 when unknown.
inline constexpr std::string_view dKeyADFScannerWidth = "dKeyADFScannerWidth";
inline constexpr std::string_view dKeyADFScannerHeight = "dKeyADFScannerHeight";
// Optional, as stored.
inline constexpr std::string_view dKeyProductName = "dKeyProductName";
inline constexpr std::string_view dKeyDefaultFilename = "dKeyDefaultFilename";
inline constexpr std::string_view dKeyDefaultResolution = "dKeyDefaultResolution";
// Boolean.
inline constexpr std::string_view dKeyObjCScanDriverBundle = "dKeyObjCScanDriverBundle";

}  // namespace twain::info_dictionary_keys
