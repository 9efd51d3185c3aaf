// The scanner's ICC profiles: resources "<name>.icc" of the scanner bundle, named in its
// Info.plist. The bundle is opened again on every call, so a profile installed later is found.

#include "platform/bundle/bundle.hpp"
#include "twain/inspector/tds_property_inspector.hpp"

namespace twain {

std::optional<std::string> TDSPropertyInspector::getScannerICCProfileFilenameUsingKey(
    std::string_view key) const {
    const auto* name = mDictionary.get(key).as_string();
    const auto* bundlePath = mBackendURL.as_file_url();
    if (!name || !bundlePath) return std::nullopt;
    const auto bundle = platform::bundle::Bundle::open(*bundlePath);
    if (!bundle) return std::nullopt;
    // The bundle layer refuses names that would leave its Resources folder.
    auto profile = bundle->resource_path(*name, "icc");
    if (!profile) return std::nullopt;
    return profile->string();
}

std::optional<platform::folders::FileRef> TDSPropertyInspector::getICCProfileSpecWithKey(
    std::string_view key) const {
    const auto path = getScannerICCProfileFilenameUsingKey(key);
    if (!path) return std::nullopt;
    auto reference = platform::folders::make_file_ref(*path);
    if (!reference) return std::nullopt;
    return std::move(reference.value());
}

std::optional<std::string> TDSPropertyInspector::scannerICCProfileColorFilename() const {
    return getScannerICCProfileFilenameUsingKey("ScannerProfile");
}

std::optional<std::string> TDSPropertyInspector::scannerICCProfileGrayFilename() const {
    return getScannerICCProfileFilenameUsingKey("ScannerGrayProfile");
}

}  // namespace twain
