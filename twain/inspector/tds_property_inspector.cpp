#include "twain/inspector/tds_property_inspector.hpp"

#include "platform/bundle/bundle.hpp"
#include "twain/inspector/number_value.hpp"

namespace twain {

using platform::plist::Type;
using platform::plist::Value;

TDSPropertyInspector TDSPropertyInspector::initWithBackendURL(const Value& url) {
    TDSPropertyInspector inspector;
    inspector.setBackendURL(url);
    return inspector;
}

void TDSPropertyInspector::setBackendURL(const Value& url) {
    mBackendURL = url;
    mDictionary = Value();
    mSupportedResolutions = Value();
    const auto* path = url.as_file_url();
    if (!path) return;
    const auto bundle = platform::bundle::Bundle::open(*path);
    if (!bundle) return;
    mDictionary = bundle->info_dictionary();
    // Only a list can be indexed; anything else under the key counts as no list.
    if (auto list = mDictionary.get("SupportedResolutions"); list.is(Type::Array)) {
        mSupportedResolutions = std::move(list);
    }
}

std::int32_t TDSPropertyInspector::integerEntry(std::string_view key) const {
    return intValue(mDictionary.get(key)).value_or(-1);
}

double TDSPropertyInspector::realEntry(std::string_view key) const {
    return doubleValue(mDictionary.get(key)).value_or(-1.0);
}

std::int32_t TDSPropertyInspector::resolutionAtIndex(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= mSupportedResolutions.size()) return -1;
    return intValue(mSupportedResolutions.at(static_cast<std::size_t>(index))).value_or(-1);
}

Value TDSPropertyInspector::supportedResolutions() const { return mSupportedResolutions; }

Value TDSPropertyInspector::defaultResolution() const {
    return mDictionary.get("DefaultResolution");
}

std::int32_t TDSPropertyInspector::opticalXResolutionIndex() const {
    return integerEntry("OpticalXResolution");
}

std::int32_t TDSPropertyInspector::opticalYResolutionIndex() const {
    return integerEntry("OpticalYResolution");
}

std::int32_t TDSPropertyInspector::opticalXResolution() const {
    return resolutionAtIndex(opticalXResolutionIndex());
}

std::int32_t TDSPropertyInspector::opticalYResolution() const {
    return resolutionAtIndex(opticalYResolutionIndex());
}

double TDSPropertyInspector::scannerWidth() const { return realEntry("ScannerWidth"); }

double TDSPropertyInspector::scannerHeight() const { return realEntry("ScannerHeight"); }

std::int32_t TDSPropertyInspector::scannerVID() const { return integerEntry("ScannerVID"); }

std::int32_t TDSPropertyInspector::scannerPID() const { return integerEntry("ScannerPID"); }

std::int32_t TDSPropertyInspector::copyResolutionForColor(const Value& color,
                                                          const Value& quality) const {
    const Value copyResolutions = mDictionary.get("CopyResolutions");
    Value perColor = color;
    if (copyResolutions) {
        const auto* colorKey = color.as_string();
        perColor = colorKey ? copyResolutions.get(*colorKey) : Value();
    }
    const auto* qualityKey = quality.as_string();
    if (!perColor.is(Type::Dictionary) || !qualityKey) return -1;
    const auto index = intValue(perColor.get(*qualityKey));
    return index ? resolutionAtIndex(*index) : -1;
}

Value TDSPropertyInspector::helpPath() const { return mDictionary.get("HelpPath"); }

Value TDSPropertyInspector::getProductName() const { return mDictionary.get("IdProductName"); }

Value TDSPropertyInspector::defaultFileName() const { return mDictionary.get("DefaultFileName"); }

double TDSPropertyInspector::adfScannerWidth() const { return realEntry("ScannerWidthADF"); }

double TDSPropertyInspector::adfScannerHeight() const { return realEntry("ScannerHeightADF"); }

std::int32_t TDSPropertyInspector::adfOpticalXResolutionIndex() const {
    return integerEntry("OpticalXResolutionADF");
}

std::int32_t TDSPropertyInspector::adfOpticalYResolutionIndex() const {
    return integerEntry("OpticalYResolutionADF");
}

std::int32_t TDSPropertyInspector::adfOpticalXResolution() const {
    return resolutionAtIndex(adfOpticalXResolutionIndex());
}

std::int32_t TDSPropertyInspector::adfOpticalYResolution() const {
    return resolutionAtIndex(adfOpticalYResolutionIndex());
}

bool TDSPropertyInspector::supportsADFScanning() const {
    return intValue(mDictionary.get("SupportsADF")) == 1;
}

bool TDSPropertyInspector::isADFFlipped() const {
    return intValue(mDictionary.get("IsADFFlipped")) == 1;
}

bool TDSPropertyInspector::allowADFPreview() const {
    return intValue(mDictionary.get("AllowADFPreview")).value_or(1) != 0;
}

bool TDSPropertyInspector::isObjCTypeScannerDriverBundle() const {
    return intValue(mDictionary.get("ObjCTypeScanDriverBundle")).value_or(0) > 0;
}

}  // namespace twain
