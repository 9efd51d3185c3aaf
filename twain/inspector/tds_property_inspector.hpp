#pragma once
// TDSPropertyInspector answers questions about one scanner from the Info.plist of its scanner
// bundle, each typed and with a fixed default when the entry is missing: -1 for integers and
// resolutions, -1.0 for reals, NO for flags (YES for allowADFPreview), null for values.
//
// The Info.plist is read once, by initWithBackendURL; the ICC profile operations open the
// bundle again on every call and retractableUSBSupport reads the features file on every call.
// Number entries are read as the framework's objects answer intValue, doubleValue and boolValue
// (number_value.hpp): numbers of every kind convert into each other, and a string is read as
// the number its text starts with (boolValue: by its first letter or digit). An entry of any
// other kind counts as missing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/folders/file_ref.hpp"
#include "platform/plist/value.hpp"

namespace twain {

class TDSPropertyInspector {
public:
    // An inspector with no scanner bundle: every answer is its default.
    TDSPropertyInspector() = default;

    // An inspector on the scanner bundle at a file URL (a null URL, or one where no bundle
    // opens, gives the defaults).
    static TDSPropertyInspector initWithBackendURL(const platform::plist::Value& url);

    // Holds the URL and reads the bundle's Info.plist. A URL that opens no bundle drops the
    // dictionary and list of an earlier URL, so the answers are the defaults again.
    void setBackendURL(const platform::plist::Value& url);

    // Resolutions. Indexes are positions in supportedResolutions; a resolution is the list's
    // element at the index, or -1 when the index or the list is missing or out of range.
    platform::plist::Value supportedResolutions() const;
    platform::plist::Value defaultResolution() const;
    std::int32_t opticalXResolutionIndex() const;
    std::int32_t opticalYResolutionIndex() const;
    std::int32_t opticalXResolution() const;
    std::int32_t opticalYResolution() const;

    double scannerWidth() const;
    double scannerHeight() const;

    // ICC profiles: the Info.plist entry under the key names a resource "<name>.icc" of the
    // scanner bundle. getICCProfileSpecWithKey gives the platform's reference to that file, a
    // value the caller owns.
    std::optional<platform::folders::FileRef> getICCProfileSpecWithKey(std::string_view key) const;
    std::optional<std::string> getScannerICCProfileFilenameUsingKey(std::string_view key) const;
    std::optional<std::string> scannerICCProfileColorFilename() const;
    std::optional<std::string> scannerICCProfileGrayFilename() const;

    std::int32_t scannerVID() const;
    std::int32_t scannerPID() const;

    // The resolution for a colour and quality key of "CopyResolutions"; without that entry the
    // colour argument itself stands for the per-colour dictionary. -1 when anything is missing.
    std::int32_t copyResolutionForColor(const platform::plist::Value& color,
                                        const platform::plist::Value& quality) const;

    platform::plist::Value helpPath() const;
    // 1 when the features file named by "QSAPlistPath" says "Retractable USB Support" is YES.
    int retractableUSBSupport() const;
    platform::plist::Value getProductName() const;
    platform::plist::Value defaultFileName() const;

    double adfScannerWidth() const;
    double adfScannerHeight() const;
    std::int32_t adfOpticalXResolutionIndex() const;
    std::int32_t adfOpticalYResolutionIndex() const;
    std::int32_t adfOpticalXResolution() const;
    std::int32_t adfOpticalYResolution() const;

    bool supportsADFScanning() const;
    bool isADFFlipped() const;
    bool allowADFPreview() const;
    bool isObjCTypeScannerDriverBundle() const;

private:
    std::int32_t integerEntry(std::string_view key) const;
    double realEntry(std::string_view key) const;
    std::int32_t resolutionAtIndex(std::int32_t index) const;

    // Destroyed in reverse order: the list, the dictionary, then the URL.
    platform::plist::Value mBackendURL;
    platform::plist::Value mDictionary;
    platform::plist::Value mSupportedResolutions;
};

}  // namespace twain
