#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"
#include "tests/twain/inspector/inspector_fixture.hpp"

namespace {

using platform::plist::Value;
using twain_testing::InspectorTest;

std::string resource(const std::filesystem::path& bundle, const std::string& file) {
    return (bundle / "Contents/Resources" / file).string();
}

TEST_F(InspectorTest, EachProfileKeyGivesThePathOfItsOwnResource) {
    auto inspector =
        inspect(Value::dictionary({{"ScannerProfile", Value::string("Color")}}), {"Color", "Gray"});
    EXPECT_EQ(inspector.scannerICCProfileColorFilename(), resource(bundle(), "Color.icc"));
    EXPECT_FALSE(inspector.scannerICCProfileGrayFilename());

    inspector = inspect(Value::dictionary({{"ScannerProfile", Value::string("Color")},
                                           {"ScannerGrayProfile", Value::string("Gray")}}),
                        {"Color", "Gray"});
    EXPECT_EQ(inspector.scannerICCProfileColorFilename(), resource(bundle(), "Color.icc"));
    EXPECT_EQ(inspector.scannerICCProfileGrayFilename(), resource(bundle(), "Gray.icc"));
    EXPECT_EQ(inspector.getScannerICCProfileFilenameUsingKey("ScannerGrayProfile"),
              resource(bundle(), "Gray.icc"));
}

TEST_F(InspectorTest, ANameWithoutAnIccResourceGivesNothing) {
    testing_support::write_file(bundle() / "Contents/Resources/Color.icm", "");
    testing_support::write_file(bundle() / "Contents/Resources/Color", "");
    testing_support::write_file(env_.base() / "Outside.icc", "");
    for (const auto& name : {Value::string("Color"), Value::string("Color.icc"), Value::string(""),
                             Value::string("../../../../../Outside"), Value::integer(1)}) {
        const auto inspector = inspect(Value::dictionary({{"ScannerProfile", name}}));
        EXPECT_FALSE(inspector.scannerICCProfileColorFilename()) << name;
        EXPECT_FALSE(inspector.getICCProfileSpecWithKey("ScannerProfile")) << name;
    }
    // A name given with its extension looks for "<name>.icc" like any other.
    const auto inspector =
        inspect(Value::dictionary({{"ScannerProfile", Value::string("Color.icc")}}), {"Color.icc"});
    EXPECT_EQ(inspector.scannerICCProfileColorFilename(), resource(bundle(), "Color.icc.icc"));
}

TEST_F(InspectorTest, TheProfileSpecIsTheCallersReferenceToTheSameFile) {
    const auto inspector =
        inspect(Value::dictionary({{"ScannerProfile", Value::string("Color")},
                                   {"ScannerGrayProfile", Value::string("None")}}),
                {"Color"});
    const auto reference = inspector.getICCProfileSpecWithKey("ScannerProfile");
    ASSERT_TRUE(reference);
    EXPECT_EQ(reference->path, std::filesystem::canonical(resource(bundle(), "Color.icc")));
    EXPECT_FALSE(inspector.getICCProfileSpecWithKey("ScannerGrayProfile"));
    EXPECT_FALSE(inspector.getICCProfileSpecWithKey("NoSuchKey"));
}

TEST_F(InspectorTest, TheBundleIsOpenedAgainForEveryProfileLookUp) {
    const auto inspector = inspect(Value::dictionary({{"ScannerProfile", Value::string("Color")}}));
    EXPECT_FALSE(inspector.scannerICCProfileColorFilename());
    testing_support::write_file(bundle() / "Contents/Resources/Color.icc", "");
    EXPECT_EQ(inspector.scannerICCProfileColorFilename(), resource(bundle(), "Color.icc"));
    std::filesystem::remove_all(bundle());
    EXPECT_FALSE(inspector.scannerICCProfileColorFilename());
    EXPECT_FALSE(inspector.getICCProfileSpecWithKey("ScannerProfile"));
}

}  // namespace
