#include "tests/twain/support/bundle_fixtures.hpp"

#include "platform/plist/document.hpp"
#include "tests/support/temp_dir.hpp"

namespace twain_testing {

using platform::plist::Value;

std::filesystem::path scanner_bundle_path(const std::filesystem::path& root) {
    return root / "Library/Application Support/Velmora/Q580n Scanner.bundle";
}

std::filesystem::path backend_bundle_path(const std::filesystem::path& root) {
    return root / "Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle";
}

void write_plist(const std::filesystem::path& file, const Value& value) {
    testing_support::write_file(file, platform::plist::to_xml(value).value());
}

void lay_out_scanner_bundle(const std::filesystem::path& folder, const Value& info,
                            std::initializer_list<std::string_view> profiles) {
    write_plist(folder / "Contents/Info.plist", info);
    for (const auto name : profiles) {
        testing_support::write_file(folder / "Contents/Resources" / (std::string(name) + ".icc"),
                                    "");
    }
}

Value full_scanner_info(std::string_view features_path) {
    const auto integers = [](std::initializer_list<std::int64_t> numbers) {
        std::vector<Value> items;
        for (const auto number : numbers) items.push_back(Value::integer(number));
        return Value::array(std::move(items));
    };
    return Value::dictionary({
        {"SupportedResolutions", integers({75, 150, 300, 600, 1200})},
        {"DefaultResolution", Value::string("150")},
        {"OpticalXResolution", Value::integer(3)},
        {"OpticalYResolution", Value::integer(4)},
        {"ScannerWidth", Value::real(8.5)},
        {"ScannerHeight", Value::real(11.7)},
        {"ScannerProfile", Value::string("Color")},
        {"ScannerGrayProfile", Value::string("Gray")},
        {"ScannerVID", Value::integer(7731)},
        {"ScannerPID", Value::integer(183)},
        {"CopyResolutions",
         Value::dictionary({{"Color", Value::dictionary({{"Best", Value::integer(2)}})}})},
        {"HelpPath", Value::string("Help/index.html")},
        {"QSAPlistPath", Value::string(std::string(features_path))},
        {"IdProductName", Value::string("Q580n")},
        {"DefaultFileName", Value::string("Scan")},
        {"ScannerWidthADF", Value::real(8.5)},
        {"ScannerHeightADF", Value::real(14.0)},
        {"OpticalXResolutionADF", Value::integer(2)},
        {"OpticalYResolutionADF", Value::integer(1)},
        {"SupportsADF", Value::integer(1)},
        {"IsADFFlipped", Value::integer(1)},
        {"AllowADFPreview", Value::integer(0)},
        {"ObjCTypeScanDriverBundle", Value::integer(1)},
    });
}

void write_features_file(const std::filesystem::path& file, bool retractable) {
    write_plist(file, Value::dictionary(
                          {{"Features", Value::dictionary({{"Retractable USB Support",
                                                            Value::boolean(retractable)}})}}));
}

void lay_out_backend_bundle(const std::filesystem::path& folder, const std::filesystem::path& code,
                            std::string_view principal_class, std::string_view executable) {
    write_plist(
        folder / "Contents/Info.plist",
        Value::dictionary({{"CFBundleExecutable", Value::string(std::string(executable))},
                           {"NSPrincipalClass", Value::string(std::string(principal_class))}}));
    std::filesystem::create_directories(folder / "Contents/MacOS");
    // A new file rather than new contents: the old one may still be mapped by the loader.
    const auto target = folder / "Contents/MacOS" / executable;
    std::filesystem::remove(target);
    std::filesystem::copy_file(code, target);
}

}  // namespace twain_testing

namespace twain_testing {

const std::vector<std::string>& all_info_dictionary_keys() {
    static const std::vector<std::string> keys = {
        "dKeyDriverURL",
        "dKeyImagingURL",
        "dKeyColorDepth",
        "dKeyResolution",
        "dKeyDescreen",
        "dKeyAutocrop",
        "dKeyCustomLayoutOffsetX",
        "dKeyCustomLayoutOffsetY",
        "dKeyCustomLayoutWidth",
        "dKeyCustomLayoutHeight",
        "dKeyVID",
        "dKeyPID",
        "dKeySupportedRes",
        "dKeyHelpPath",
        "dKeyRetractableUSBSupport",
        "dKeyICCColorFilePath",
        "dKeyICCGrayFilePath",
        "dKeyFBOpticalXRes",
        "dKeyFBOpticalYRes",
        "dKeyScannerWidth",
        "dKeyScannerHeight",
        "dKeyADFSupported",
        "dKeyADFIsFlipped",
        "dKeyADFAllowPreview",
        "dKeyADFOpticalXRes",
        "dKeyADFOpticalYRes",
        "dKeyADFScannerWidth",
        "dKeyADFScannerHeight",
        "dKeyProductName",
        "dKeyDefaultFilename",
        "dKeyDefaultResolution",
        "dKeyObjCScanDriverBundle",
    };
    return keys;
}

}  // namespace twain_testing
