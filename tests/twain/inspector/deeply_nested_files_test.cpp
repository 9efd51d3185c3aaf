// Scanner bundle files holding property lists nested hundreds of thousands of levels deep (a few
// megabytes): the data source must survive reading them and answer as if they were missing.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.hpp"
#include "tests/twain/inspector/inspector_fixture.hpp"

namespace {

using platform::plist::Value;
using twain_testing::InspectorTest;

constexpr const char* kFeatures = "/Library/Printers/Velmora/QSA.plist";

// A dictionary whose key holds 200,000 nested arrays.
std::string deeply_nested(const std::string& key) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>" + key + "</key>";
    for (int i = 0; i < 200000; ++i) xml += "<array>";
    for (int i = 0; i < 200000; ++i) xml += "</array>";
    return xml + "</dict></plist>";
}

TEST_F(InspectorTest, ADeeplyNestedInfoPlistGivesTheDefaults) {
    auto inspector = inspect(twain_testing::full_scanner_info(kFeatures), {"Color", "Gray"});
    ASSERT_NE(inspector.scannerVID(), -1) << "the bundle as laid out is read";

    testing_support::write_file(bundle() / "Contents/Info.plist", deeply_nested("ScannerVID"));
    inspector.setBackendURL(Value::file_url(bundle()));
    EXPECT_EQ(inspector.scannerVID(), -1);
    EXPECT_EQ(inspector.scannerWidth(), -1.0);
    EXPECT_TRUE(inspector.supportedResolutions().is_null());
    EXPECT_TRUE(inspector.getProductName().is_null());
    EXPECT_TRUE(inspector.allowADFPreview());
    EXPECT_FALSE(inspector.scannerICCProfileColorFilename());
    EXPECT_EQ(inspector.retractableUSBSupport(), 0);
}

TEST_F(InspectorTest, ADeeplyNestedFeaturesFileGivesNoRetractableSupport) {
    const auto features = env_.root() / "Library/Printers/Velmora/QSA.plist";
    const auto inspector = inspect(Value::dictionary({{"QSAPlistPath", Value::string(kFeatures)}}));
    twain_testing::write_features_file(features, true);
    ASSERT_EQ(inspector.retractableUSBSupport(), 1);

    testing_support::write_file(features, deeply_nested("Features"));
    EXPECT_EQ(inspector.retractableUSBSupport(), 0);
}

}  // namespace
