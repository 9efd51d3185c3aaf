#include <gtest/gtest.h>

#include "platform/folders/folders.hpp"
#include "platform/plist/describe.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/twain/support/bundle_fixtures.hpp"
#include "twain/utility/tds_utility.hpp"

namespace {

using platform::plist::IntegerKind;
using platform::plist::Type;
using platform::plist::Value;
using twain::TDSUtility;

constexpr const char* kFeatures = "/Library/Printers/Velmora/QSA.plist";

std::vector<std::string> keys_of(const Value& dictionary) {
    std::vector<std::string> keys;
    for (const auto& entry : dictionary.entries()) keys.push_back(entry.first);
    return keys;
}

// The value must be a 32-bit integer number of that value.
void expect_int32(const Value& info, const char* key, std::int64_t expected) {
    const auto value = info.get(key);
    EXPECT_EQ(value.integer_kind(), IntegerKind::SInt32) << key << " = " << value;
    EXPECT_EQ(value.as_integer(), expected) << key;
}

void expect_real(const Value& info, const char* key, double expected) {
    EXPECT_EQ(info.get(key).as_real(), expected) << key << " = " << info.get(key);
}

void expect_boolean(const Value& info, const char* key, bool expected) {
    EXPECT_EQ(info.get(key).as_boolean(), expected) << key << " = " << info.get(key);
}

class InfoDictionaryTest : public ::testing::Test {
protected:
    std::filesystem::path bundle() const { return twain_testing::scanner_bundle_path(env_.root()); }
    std::filesystem::path driver() const {
        return bundle() / "Contents/SharedSupport/Q580nScannerLib.bundle";
    }
    Value build() const { return TDSUtility::getInfoDictWithBundlePath(bundle(), driver()); }

    testing_support::IsolatedEnvironment env_;
};

TEST_F(InfoDictionaryTest, AFullInfoPlistGivesAll32KeysWithTheirKinds) {
    twain_testing::lay_out_scanner_bundle(bundle(), twain_testing::full_scanner_info(kFeatures),
                                          {"Color", "Gray"});
    twain_testing::write_features_file(env_.root() / "Library/Printers/Velmora/QSA.plist", true);
    const auto info = build();
    EXPECT_EQ(keys_of(info), twain_testing::all_info_dictionary_keys());

    EXPECT_EQ(info.get("dKeyDriverURL"), Value::file_url(driver()));
    EXPECT_TRUE(info.get("dKeyImagingURL").is(Type::String));
    expect_int32(info, "dKeyColorDepth", 0);
    expect_int32(info, "dKeyResolution", 300);
    expect_int32(info, "dKeyDescreen", 0);
    expect_int32(info, "dKeyAutocrop", 1);
    expect_real(info, "dKeyCustomLayoutOffsetX", 0.0);
    expect_real(info, "dKeyCustomLayoutOffsetY", 0.0);
    expect_real(info, "dKeyCustomLayoutWidth", 8.5);
    expect_real(info, "dKeyCustomLayoutHeight", 11.7);
    expect_int32(info, "dKeyVID", 7731);
    expect_int32(info, "dKeyPID", 183);
    EXPECT_EQ(info.get("dKeySupportedRes"),
              Value::array({Value::integer(75), Value::integer(150), Value::integer(300),
                            Value::integer(600), Value::integer(1200)}));
    EXPECT_EQ(info.get("dKeyHelpPath"), Value::string("Help/index.html"));
    expect_boolean(info, "dKeyRetractableUSBSupport", true);
    EXPECT_EQ(info.get("dKeyICCColorFilePath"),
              Value::string((bundle() / "Contents/Resources/Color.icc").string()));
    EXPECT_EQ(info.get("dKeyICCGrayFilePath"),
              Value::string((bundle() / "Contents/Resources/Gray.icc").string()));
    expect_int32(info, "dKeyFBOpticalXRes", 600);
    expect_int32(info, "dKeyFBOpticalYRes", 1200);
    expect_real(info, "dKeyScannerWidth", 8.5);
    expect_real(info, "dKeyScannerHeight", 11.7);
    expect_boolean(info, "dKeyADFSupported", true);
    expect_boolean(info, "dKeyADFIsFlipped", true);
    expect_boolean(info, "dKeyADFAllowPreview", false);
    expect_int32(info, "dKeyADFOpticalXRes", 300);
    expect_int32(info, "dKeyADFOpticalYRes", 150);
    expect_real(info, "dKeyADFScannerWidth", 8.5);
    expect_real(info, "dKeyADFScannerHeight", 14.0);
    EXPECT_EQ(info.get("dKeyProductName"), Value::string("Q580n"));
    EXPECT_EQ(info.get("dKeyDefaultFilename"), Value::string("Scan"));
    // The Info.plist's own default travels unconverted, beside the fixed start value 300.
    EXPECT_TRUE(info.get("dKeyDefaultResolution").is(Type::String));
    EXPECT_EQ(info.get("dKeyDefaultResolution"), Value::string("150"));
    expect_boolean(info, "dKeyObjCScanDriverBundle", true);
}

TEST_F(InfoDictionaryTest, AMissingScannerBundleGives25KeysOfDefaults) {
    for (const bool bare_folder : {false, true}) {
        if (bare_folder) std::filesystem::create_directories(bundle() / "Contents");
        const auto info = build();
        std::vector<std::string> expected;
        for (const auto& key : twain_testing::all_info_dictionary_keys()) {
            if (key != "dKeySupportedRes" && key != "dKeyHelpPath" &&
                key != "dKeyICCColorFilePath" && key != "dKeyICCGrayFilePath" &&
                key != "dKeyProductName" && key != "dKeyDefaultFilename" &&
                key != "dKeyDefaultResolution") {
                expected.push_back(key);
            }
        }
        ASSERT_EQ(expected.size(), 25u);
        EXPECT_EQ(keys_of(info), expected) << "bare folder: " << bare_folder;

        EXPECT_EQ(info.get("dKeyDriverURL"), Value::file_url(driver()));
        expect_int32(info, "dKeyColorDepth", 0);
        expect_int32(info, "dKeyResolution", 300);
        expect_int32(info, "dKeyDescreen", 0);
        expect_int32(info, "dKeyAutocrop", 1);
        for (const char* key : {"dKeyVID", "dKeyPID", "dKeyFBOpticalXRes", "dKeyFBOpticalYRes",
                                "dKeyADFOpticalXRes", "dKeyADFOpticalYRes"}) {
            expect_int32(info, key, -1);
        }
        expect_real(info, "dKeyCustomLayoutOffsetX", 0.0);
        expect_real(info, "dKeyCustomLayoutOffsetY", 0.0);
        for (const char* key :
             {"dKeyCustomLayoutWidth", "dKeyCustomLayoutHeight", "dKeyScannerWidth",
              "dKeyScannerHeight", "dKeyADFScannerWidth", "dKeyADFScannerHeight"}) {
            expect_real(info, key, -1.0);
        }
        expect_boolean(info, "dKeyRetractableUSBSupport", false);
        expect_boolean(info, "dKeyADFSupported", false);
        expect_boolean(info, "dKeyADFIsFlipped", false);
        expect_boolean(info, "dKeyADFAllowPreview", true);
        expect_boolean(info, "dKeyObjCScanDriverBundle", false);
    }
}

TEST_F(InfoDictionaryTest, EachProfileKeyIsSetOnlyWhenItsProfileExists) {
    auto scanner = twain_testing::full_scanner_info(kFeatures);
    scanner.remove("ScannerGrayProfile");
    twain_testing::lay_out_scanner_bundle(bundle(), scanner, {"Color", "Gray"});
    auto info = build();
    EXPECT_EQ(info.get("dKeyICCColorFilePath"),
              Value::string((bundle() / "Contents/Resources/Color.icc").string()));
    EXPECT_FALSE(info.contains("dKeyICCGrayFilePath"));
    EXPECT_EQ(info.size(), 31u);

    std::filesystem::remove(bundle() / "Contents/Resources/Color.icc");
    info = build();
    EXPECT_FALSE(info.contains("dKeyICCColorFilePath")) << "named, but no such resource";
    EXPECT_EQ(info.size(), 30u);
}

TEST_F(InfoDictionaryTest, TheLayoutStartsAsTheWholeFlatbed) {
    auto scanner = Value::dictionary(
        {{"ScannerWidth", Value::integer(9)}, {"ScannerHeight", Value::string("12.5")}});
    twain_testing::lay_out_scanner_bundle(bundle(), scanner);
    const auto info = build();
    expect_real(info, "dKeyCustomLayoutWidth", 9.0);
    expect_real(info, "dKeyScannerWidth", 9.0);
    expect_real(info, "dKeyCustomLayoutHeight", 12.5);
    expect_real(info, "dKeyScannerHeight", 12.5);
}

TEST_F(InfoDictionaryTest, TheImagingPathIsAPlainPathAndTheDriverAFileUrl) {
    platform::folders::set_root({});
    const auto info = TDSUtility::getInfoDictWithBundlePath(
        "/Library/Application Support/Velmora/Q580n Scanner.bundle",
        "/Library/Application Support/Velmora/Q580n Scanner.bundle/Contents/SharedSupport/"
        "Q580nScannerLib.bundle");
    EXPECT_EQ(info.get("dKeyImagingURL"),
              Value::string("/Library/Printers/Velmora/Frameworks/VelImagingEngine.bundle"));
    EXPECT_EQ(info.get("dKeyDriverURL"),
              Value::file_url("/Library/Application Support/Velmora/Q580n Scanner.bundle/Contents/"
                              "SharedSupport/Q580nScannerLib.bundle"));
    EXPECT_TRUE(info.get("dKeyDriverURL").is(Type::FileUrl));

    // In a test's view the backend is told where the imaging engine is in that view.
    platform::folders::set_root(env_.root());
    EXPECT_EQ(
        build().get("dKeyImagingURL"),
        Value::string((env_.root() / "Library/Printers/Velmora/Frameworks/VelImagingEngine.bundle")
                          .string()));
}

}  // namespace
