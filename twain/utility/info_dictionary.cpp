// The backend info dictionary: what the backend learns about the scanner and its installation.

#include "platform/folders/folders.hpp"
#include "twain/backend/info_dictionary_keys.hpp"
#include "twain/inspector/tds_property_inspector.hpp"
#include "twain/utility/tds_utility.hpp"

namespace twain {

namespace {

using platform::plist::IntegerKind;
using platform::plist::Value;

Value int32Number(std::int32_t number) { return Value::integer(number, IntegerKind::SInt32); }

Value pathString(const std::optional<std::string>& path) {
    return path ? Value::string(*path) : Value();
}

}  // namespace

Value TDSUtility::getInfoDictWithBundlePath(const std::filesystem::path& bundlePath,
                                            const std::filesystem::path& driverPath) {
    namespace key = info_dictionary_keys;
    const auto inspector = TDSPropertyInspector::initWithBackendURL(Value::file_url(bundlePath));
    // Setting a null value leaves the key out, which is how absent sources stay absent.
    Value info = Value::dictionary();
    info.set(key::dKeyDriverURL, Value::file_url(driverPath));
    info.set(key::dKeyImagingURL,
             Value::string(platform::folders::system_path(returnImagingPath()).string()));
    info.set(key::dKeyColorDepth, int32Number(0));
    info.set(key::dKeyResolution, int32Number(300));
    info.set(key::dKeyDescreen, int32Number(0));
    info.set(key::dKeyAutocrop, int32Number(1));
    info.set(key::dKeyCustomLayoutOffsetX, Value::real(0.0));
    info.set(key::dKeyCustomLayoutOffsetY, Value::real(0.0));
    info.set(key::dKeyCustomLayoutWidth, Value::real(inspector.scannerWidth()));
    info.set(key::dKeyCustomLayoutHeight, Value::real(inspector.scannerHeight()));
    info.set(key::dKeyVID, int32Number(inspector.scannerVID()));
    info.set(key::dKeyPID, int32Number(inspector.scannerPID()));
    info.set(key::dKeySupportedRes, inspector.supportedResolutions());
    info.set(key::dKeyHelpPath, inspector.helpPath());
    info.set(key::dKeyRetractableUSBSupport,
             Value::boolean(inspector.retractableUSBSupport() != 0));
    info.set(key::dKeyICCColorFilePath, pathString(inspector.scannerICCProfileColorFilename()));
    info.set(key::dKeyICCGrayFilePath, pathString(inspector.scannerICCProfileGrayFilename()));
    info.set(key::dKeyFBOpticalXRes, int32Number(inspector.opticalXResolution()));
    info.set(key::dKeyFBOpticalYRes, int32Number(inspector.opticalYResolution()));
    info.set(key::dKeyScannerWidth, Value::real(inspector.scannerWidth()));
    info.set(key::dKeyScannerHeight, Value::real(inspector.scannerHeight()));
    info.set(key::dKeyADFSupported, Value::boolean(inspector.supportsADFScanning()));
    info.set(key::dKeyADFIsFlipped, Value::boolean(inspector.isADFFlipped()));
    info.set(key::dKeyADFAllowPreview, Value::boolean(inspector.allowADFPreview()));
    info.set(key::dKeyADFOpticalXRes, int32Number(inspector.adfOpticalXResolution()));
    info.set(key::dKeyADFOpticalYRes, int32Number(inspector.adfOpticalYResolution()));
    info.set(key::dKeyADFScannerWidth, Value::real(inspector.adfScannerWidth()));
    info.set(key::dKeyADFScannerHeight, Value::real(inspector.adfScannerHeight()));
    info.set(key::dKeyProductName, inspector.getProductName());
    info.set(key::dKeyDefaultFilename, inspector.defaultFileName());
    info.set(key::dKeyDefaultResolution, inspector.defaultResolution());
    info.set(key::dKeyObjCScanDriverBundle,
             Value::boolean(inspector.isObjCTypeScannerDriverBundle()));
    return info;
}

}  // namespace twain
